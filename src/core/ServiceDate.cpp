#include "core/ServiceDate.h"

#include <QRegularExpression>

std::optional<QDateTime> parseServiceDate(const QString& text) {
    static const QRegularExpression shape(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    // fromString reads the fields as local time, as the service means them.
    const QDateTime moment = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!moment.isValid())
        return std::nullopt;
    return moment;
}
