#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// "yyyy-MM-dd HH:mm:ss" in the local time zone; nothing when the text does not match,
// so a caller never works with a made-up date.
std::optional<QDateTime> parseServiceDate(const QString& text);
