#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

// The client as its desktop layer (tray, notifications, command line) drives it: the
// operations of the window's own buttons, reached while the window may be hidden. The
// application implements it. Answers are "" on success, else a one-line reason.
class ClientControl : public QObject {
    Q_OBJECT
public:
    struct Status {
        QString state; // "disconnected", "connecting" or "connected"
        bool signedIn = false;
        QString server;
        QString protocol; // "ikev2" or "openvpn"
        QString interfaceName;
        QDateTime connectedSince; // invalid unless connected
    };

    using QObject::QObject;

    virtual Status status() const = 0;
    virtual bool isSignedIn() const = 0;
    // `protocol` "ikev2"/"openvpn" or "" for the ticked one; `server` a name or host of
    // that protocol's list, "" for automatic matching, nothing for the one shown.
    virtual QString connect(const QString& protocol, const std::optional<QString>& server) = 0;
    virtual QString disconnect() = 0;
    virtual void showWindow() = 0;
    virtual void quit() = 0;
    // The window is on screen and in front: the user sees what happens in it.
    virtual bool isWindowInFront() const = 0;

signals:
    // State, server or protocol may have changed.
    void statusChanged();
};
