#pragma once

#include <QString>

// The widget side of the connection screen. The connection logic outlives a screen
// (the supervision timer keeps running when the menu swaps screens), so it reaches the
// widgets only through this interface, and only while the screen exists.
class ConnectionView {
public:
    virtual ~ConnectionView() = default;

    virtual void renderDisconnected(bool showAutoMatching) = 0;
    virtual void renderConnecting() = 0;
    virtual void renderConnected() = 0;
    virtual void showServer(const QString& name, const QString& country) = 0;
    virtual void showFailoverMessage(const QString& text) = 0;
    virtual void hideFailoverMessage() = 0;
    virtual void setProtocolBoxes(bool ikev2, bool openvpn) = 0;
    virtual void restartLoadingAnimation() = 0;
    virtual void presentAdminDialog() = 0;
    // The text of the ServerName label: it, not currentServer, marks the automatic choice.
    virtual QString shownServerName() const = 0;
};
