#pragma once

#include "platform/Preferences.h"

#include <QMap>

class MemoryPreferences final : public Preferences {
public:
    std::optional<QVariant> value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

private:
    QMap<QString, QVariant> m_values;
};
