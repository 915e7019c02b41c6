#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

// The client as its desktop layer (tray, notifications, command line) drives it: the
// operations of the window's own buttons, reached while the window may be hidden and
// without changing what the window shows. The application implements it. Answers are ""
// on success, else a one-line reason.
class ClientControl : public QObject {
    Q_OBJECT
public:
    struct Status {
        QString state; // "disconnected", "connecting" or "connected"
        bool signedIn = false;
        QString server; // name; "" when none is chosen
        QString host;
        QString protocol; // "ikev2" or "openvpn"
        // Of the tunnel, while connected.
        QString interfaceName;
        QString address;
        std::optional<quint64> bytesIn;
        std::optional<quint64> bytesOut;
        QDateTime connectedSince; // UTC; invalid unless connected
    };

    using QObject::QObject;

    virtual Status status() const = 0;
    virtual bool isSignedIn() const = 0;
    // `protocol` "ikev2"/"openvpn" or "" for the ticked one; `server` a name or host of
    // that protocol's list, "" for automatic matching, nothing for the one shown. While
    // connected to something else, the tunnel goes down first and comes up to the pick.
    virtual QString connect(const QString& protocol, const std::optional<QString>& server) = 0;
    // Takes the tunnel down; during an attempt, cancels it.
    virtual QString disconnect() = 0;
    // Ends the attempt underway as the user's cancel.
    virtual QString cancel() = 0;
    // Down and up again to the same server and protocol.
    virtual QString reconnect() = 0;
    virtual void showWindow() = 0;
    // Shows a hidden window, hides a shown one.
    virtual void toggleWindow() = 0;
    virtual void quit() = 0;
    // The window is on screen and in front: the user sees what happens in it.
    virtual bool isWindowInFront() const = 0;
    // From a connect of the desktop layer until its outcome: its alerts go to the caller
    // (an answer, a notification), not into modal boxes nobody asked for.
    virtual bool isDrivingAttempt() const = 0;

signals:
    // State, server or protocol may have changed.
    void statusChanged();
};

// The status is a connection to what a connect asked for: that protocol when one was
// named, that server (by name or host) when one was named; automatic matching takes any.
bool statusMatches(const ClientControl::Status& status, const QString& protocol,
                   const std::optional<QString>& server);
