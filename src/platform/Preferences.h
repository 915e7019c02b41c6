#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// The user's persistent settings, one value per key.
class Preferences {
public:
    virtual ~Preferences() = default;

    virtual std::optional<QVariant> value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;

    bool contains(const QString& key) const { return value(key).has_value(); }
    // Present and convertible; absent otherwise.
    std::optional<QString> string(const QString& key) const;
    std::optional<qint64> integer(const QString& key) const;
};
