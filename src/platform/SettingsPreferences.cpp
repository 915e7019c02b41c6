#include "platform/SettingsPreferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

SettingsPreferences::SettingsPreferences(const QString& filePath)
    : m_settings(filePath, QSettings::IniFormat) {
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    // Created private before anything is written; later atomic saves keep the mode.
    QFile file(filePath);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.close();
    QFile::setPermissions(filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString SettingsPreferences::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/OrvelVPN/preferences.ini");
}

std::optional<QVariant> SettingsPreferences::value(const QString& key) const {
    if (!m_settings.contains(key))
        return std::nullopt;
    return m_settings.value(key);
}

void SettingsPreferences::setValue(const QString& key, const QVariant& value) {
    m_settings.setValue(key, value);
    persist();
}

void SettingsPreferences::remove(const QString& key) {
    m_settings.remove(key);
    persist();
}

void SettingsPreferences::persist() {
    m_settings.sync();
    QFile::setPermissions(m_settings.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
