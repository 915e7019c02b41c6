#include "servers/CustomTableCell.h"

#include "app/LocalizeStrings.h"
#include "servers/ImageNamed.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {
QLabel* makeText(QWidget* parent, const char* style) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QLatin1String(style));
    return label;
}
} // namespace

CustomTableCell::CustomTableCell(QWidget* parent) : QWidget(parent) {
    countryFlagImage = new QLabel(this);
    countryFlagImage->setFixedSize(24, 16);
    countryFlagImage->setAlignment(Qt::AlignCenter);
    serverName = makeText(this, "color: black; font-weight: bold;");
    serverStatus = makeText(this, "color: rgb(110, 65, 230);");
    serverTelecom = makeText(this, "color: gray;");

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setSpacing(8);
    layout->addWidget(countryFlagImage);
    layout->addWidget(serverName, 1);
    layout->addWidget(serverTelecom);
    layout->addWidget(serverStatus);
}

void CustomTableCell::configureCell(const QString& country, const QString& name, bool is_active,
                                    bool is_status, const QString& telecom) {
    const QPixmap flag = flagImage(country);
    if (!flag.isNull())
        countryFlagImage->setPixmap(flag);
    serverName->setText(name);
    serverStatus->setText(
        localized(is_active && is_status ? QStringLiteral("사용가능") : QStringLiteral("점검중")));
    serverTelecom->setText(telecom);
}
