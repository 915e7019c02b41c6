#pragma once

#include <QPixmap>
#include <QString>

class QFont;
class QPainter;
class QRect;

// One row of the selection list as drawn: flag, name, availability, carrier. The list's
// delegate fills one for each row it paints; no row owns a widget.
class CustomTableCell {
public:
    QPixmap countryFlagImage;
    QString serverName;
    QString serverStatus;
    QString serverTelecom;

    void configureCell(const QString& country, const QString& name, bool is_active, bool is_status,
                       const QString& telecom);
    // Left to right: the flag, the name in the room left, the carrier, the status.
    void draw(QPainter& painter, const QRect& rect, const QFont& font) const;
};
