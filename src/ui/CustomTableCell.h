#pragma once

#include <QPixmap>
#include <QString>
#include <optional>

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
    // Filled when the server is a favourite, outlined when it may become one; no star for
    // a row that cannot be starred (the automatic entry).
    std::optional<bool> favourite;

    void configureCell(const QString& country, const QString& name, bool is_active, bool is_status,
                       const QString& telecom);
    // Left to right: the flag, the name in the room left, the carrier, the status, the star.
    void draw(QPainter& painter, const QRect& rect, const QFont& font) const;
    // Where the star of a row drawn in `rect` sits and takes clicks: the row's right end.
    static QRect starArea(const QRect& rect);
};
