#pragma once

#include "platform/Preferences.h"

#include <QSettings>

// An INI file under the user's config folder, readable by the user alone: it holds the
// remembered login and the administrator password.
class SettingsPreferences final : public Preferences {
public:
    explicit SettingsPreferences(const QString& filePath);

    std::optional<QVariant> value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    static QString defaultFilePath();

private:
    void persist();

    mutable QSettings m_settings;
};
