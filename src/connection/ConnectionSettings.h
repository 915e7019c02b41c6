#pragma once

class Preferences;

// The user's choices about when the client connects by itself: again after an
// unexpected drop (on unless turned off) and once signed in at start (off unless
// turned on).
class ConnectionSettings {
public:
    explicit ConnectionSettings(Preferences& preferences);

    bool reconnectAutomatically() const;
    void setReconnectAutomatically(bool enabled);
    bool connectAtStart() const;
    void setConnectAtStart(bool enabled);

private:
    bool flag(const char* key, bool fallback) const;
    void setFlag(const char* key, bool enabled);

    Preferences& m_preferences;
};
