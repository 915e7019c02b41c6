#include "platform/Preferences.h"

std::optional<QString> Preferences::string(const QString& key) const {
    const auto stored = value(key);
    if (!stored || !stored->canConvert<QString>())
        return std::nullopt;
    return stored->toString();
}

std::optional<qint64> Preferences::integer(const QString& key) const {
    const auto stored = value(key);
    if (!stored)
        return std::nullopt;
    bool ok = false;
    const qint64 number = stored->toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}
