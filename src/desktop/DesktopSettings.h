#pragma once

class Preferences;

// The desktop choices of the settings screen that live in the preferences (start at
// login lives in the autostart entry itself).
class DesktopSettings {
public:
    explicit DesktopSettings(Preferences& preferences);

    bool notificationsEnabled() const;
    void setNotificationsEnabled(bool enabled);
    bool startHidden() const;
    void setStartHidden(bool hidden);

private:
    bool flag(const char* key, bool fallback) const;

    Preferences& m_preferences;
};
