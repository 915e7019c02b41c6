#include "support/MemoryPreferences.h"

std::optional<QVariant> MemoryPreferences::value(const QString& key) const {
    const auto found = m_values.constFind(key);
    if (found == m_values.constEnd())
        return std::nullopt;
    return *found;
}

void MemoryPreferences::setValue(const QString& key, const QVariant& value) {
    m_values.insert(key, value);
}

void MemoryPreferences::remove(const QString& key) {
    m_values.remove(key);
}
