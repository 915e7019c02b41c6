#include "ui/UserVC.h"

#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "ui/UserTop.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
void setPointSize(QLabel* label, int size) {
    QFont font = label->font();
    font.setPointSize(size);
    label->setFont(font);
}
} // namespace

UserVC::UserVC(QWidget* parent) : QWidget(parent) {
    buildElements();
}

void UserVC::buildElements() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_header = new UserTop(this);
    column->addWidget(m_header);
    auto* rows = new QVBoxLayout;
    rows->setContentsMargins(24, 18, 24, 18);
    rows->setSpacing(4);
    const std::array<std::pair<QPointer<QLabel>*, QPointer<QLabel>*>, 4> pairs{
        {{&NameTitle, &NameLabel},
         {&ProductTitle, &ProductLabel},
         {&ExpireTitle, &ExpireLabel},
         {&RecTitle, &RecLabel}}};
    for (const auto& [title, value] : pairs) {
        *title = new QLabel(this);
        *value = new QLabel(this);
        (*value)->setWordWrap(true);
        // Account values come from the service: never read as markup.
        (*value)->setTextFormat(Qt::PlainText);
        setPointSize(*value, 11);
        rows->addWidget(*title);
        rows->addWidget(*value);
        rows->addSpacing(10);
    }
    rows->addStretch(1);
    column->addLayout(rows, 1);
}

void UserVC::loadViewIfNeeded() {
    if (m_loaded)
        return;
    m_loaded = true;
    viewDidLoad();
}

void UserVC::showEvent(QShowEvent* event) {
    loadViewIfNeeded();
    QWidget::showEvent(event);
}

void UserVC::viewDidLoad() {
    const AppState& state = appState();
    const QList<std::pair<QLabel*, const char*>> titles{
        {NameTitle, "NAME"}, {ProductTitle, "PRODUCT"}, {ExpireTitle, "EXPIRE"}, {RecTitle, "REC"}};
    for (const auto& [title, key] : titles) {
        title->setText(localized(QLatin1String(key)));
        setPointSize(title, 11);
        title->setStyleSheet(QStringLiteral("color: lightgray;"));
    }
    setFixedWidth(280);
    setMinimumHeight(500);

    NameLabel->setText(state.userName);
    if (!state.productName.isEmpty()) {
        ProductLabel->setText(state.productName);
        setPointSize(ProductLabel, 11);
    } else {
        ProductLabel->setText(localized(QStringLiteral("NONECONTENT")));
    }
    ExpireLabel->setText(state.expiryDateText.isEmpty() ? localized(QStringLiteral("NONECONTENT"))
                                                        : state.expiryDateText);
    RecLabel->setText(state.recText);
    for (QLabel* value :
         {NameLabel.data(), ProductLabel.data(), ExpireLabel.data(), RecLabel.data()})
        value->setStyleSheet(QStringLiteral("color: white;"));
}
