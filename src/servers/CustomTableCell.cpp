#include "servers/CustomTableCell.h"

#include "app/LocalizeStrings.h"
#include "servers/ImageNamed.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int kMarginX = 8;
constexpr int kMarginY = 2;
constexpr int kSpacing = 8;
constexpr int kFlagWidth = 24;
const QColor kNameColor(Qt::black);
const QColor kStatusColor(110, 65, 230);
const QColor kTelecomColor(128, 128, 128);

// As wide as a label showing the text would be.
int textWidth(const QFontMetrics& metrics, const QString& text) {
    return metrics.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignVCenter, text).width();
}

void drawText(QPainter& painter, int left, int right, const QRect& row, const QString& text,
              const QColor& color) {
    painter.setPen(color);
    painter.drawText(QRect(left, row.top(), right - left, row.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
}
} // namespace

void CustomTableCell::configureCell(const QString& country, const QString& name, bool is_active,
                                    bool is_status, const QString& telecom) {
    const QPixmap flag = flagImage(country);
    if (!flag.isNull())
        countryFlagImage = flag;
    serverName = name;
    serverStatus =
        localized(is_active && is_status ? QStringLiteral("사용가능") : QStringLiteral("점검중"));
    serverTelecom = telecom;
}

void CustomTableCell::draw(QPainter& painter, const QRect& rect, const QFont& font) const {
    const QRect row = rect.adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY);
    painter.save();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int end = row.left() + row.width();
    const int statusLeft = end - textWidth(metrics, serverStatus);
    const int telecomLeft = statusLeft - kSpacing - textWidth(metrics, serverTelecom);
    const int nameLeft = row.left() + kFlagWidth + kSpacing;
    const int nameRight = std::max(nameLeft, telecomLeft - kSpacing);

    if (!countryFlagImage.isNull()) {
        const QSize size = countryFlagImage.deviceIndependentSize().toSize();
        painter.drawPixmap(row.left() + (kFlagWidth - size.width()) / 2,
                           row.top() + (row.height() - size.height()) / 2, countryFlagImage);
    }
    drawText(painter, telecomLeft, statusLeft, row, serverTelecom, kTelecomColor);
    drawText(painter, statusLeft, end, row, serverStatus, kStatusColor);

    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    const QString name =
        QFontMetrics(bold).elidedText(serverName, Qt::ElideRight, nameRight - nameLeft);
    drawText(painter, nameLeft, nameRight, row, name, kNameColor);
    painter.restore();
}
