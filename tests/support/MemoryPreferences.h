#pragma once

#include "platform/Preferences.h"

#include <QMap>
#include <QStringList>

class MemoryPreferences final : public Preferences {
public:
    std::optional<QVariant> value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    // Every key held, for tests that look for a value wherever it was put.
    QStringList keys() const { return m_values.keys(); }

private:
    QMap<QString, QVariant> m_values;
};
