#include "ui/CustomTableCell.h"

#include "core/LocalizeStrings.h"
#include "ui/ImageNamed.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>

namespace {
constexpr int kMarginX = 8;
constexpr int kMarginY = 2;
constexpr int kSpacing = 8;
constexpr int kFlagWidth = 24;
const QColor kNameColor(Qt::black);
const QColor kStatusColor(110, 65, 230);
const QColor kTelecomColor(128, 128, 128);
constexpr int kStarSize = 16;
const QColor kStarOutline(150, 150, 160);

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

// Five points, the first straight up, inner corners at 0.45 of the radius.
QPainterPath starPath(const QPointF& centre, qreal radius) {
    QPainterPath path;
    for (int corner = 0; corner < 10; ++corner) {
        const qreal reach = corner % 2 == 0 ? radius : radius * 0.45;
        const qreal angle = qDegreesToRadians(-90.0 + corner * 36.0);
        const QPointF point = centre + QPointF(reach * qCos(angle), reach * qSin(angle));
        if (corner == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

void drawStar(QPainter& painter, const QRect& area, bool filled) {
    // Its top point reaches further from the centre than the lower two: the centre sits a
    // little low so the outline is what looks centred; on a pixel's middle, edges stay sharp.
    const QPoint middle(area.left() + area.width() / 2, area.top() + area.height() / 2);
    const QPointF centre = QPointF(middle) + QPointF(0.5, 0.75);
    const QPainterPath path = starPath(centre, kStarSize / 2.0);
    painter.setRenderHint(QPainter::Antialiasing);
    if (filled) {
        painter.setPen(QPen(kStatusColor, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(kStatusColor);
    } else {
        painter.setPen(QPen(kStarOutline, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
    }
    painter.drawPath(path);
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
    const QRect star = starArea(rect);
    const int end = star.left();
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
    if (favourite)
        drawStar(painter, star, *favourite);
    painter.restore();
}

QRect CustomTableCell::starArea(const QRect& rect) {
    const int width = kStarSize + 2 * kMarginX;
    return {rect.left() + rect.width() - width, rect.top(), width, rect.height()};
}
