#pragma once

class Preferences;

// The user's choices about connecting without being asked: after a drop, and at start.
class ConnectionSettings final {
public:
    explicit ConnectionSettings(Preferences& preferences);

    // On unless the user turned it off.
    bool reconnectAutomatically() const;
    void setReconnectAutomatically(bool on);
    // Off unless the user turned it on.
    bool connectAtStart() const;
    void setConnectAtStart(bool on);

private:
    Preferences& m_preferences;
};
