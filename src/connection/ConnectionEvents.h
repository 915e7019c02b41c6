#pragma once

#include <QObject>
#include <QString>

// What the connection logic has to say to watchers outside the screens (tray,
// notifications, the command line). The screens come and go with the menu; this one
// object lives for the whole run, so watchers connect once.
class ConnectionEvents final : public QObject {
    Q_OBJECT
public:
    static ConnectionEvents& shared();

    // The next drop of a connected tunnel was asked for (the user, quit): not unexpected.
    void expectDisconnect() { m_disconnectExpected = true; }
    // The client reconnects by itself after a drop: the stages its tries go through are
    // not news, only the drop and the reconnect are.
    void setReconnecting(bool reconnecting) { m_reconnecting = reconnecting; }
    bool isReconnecting() const { return m_reconnecting; }

    // Each cancel starts a new generation: a service answer asked for in an older one
    // belongs to a cancelled attempt and is dropped.
    quint64 generation() const { return m_generation; }
    void cancelAttempt();

    // Called by the screen states with the connected flag they found on entry.
    void announceConnecting();
    void announceConnected(bool wasConnected);
    void announceDisconnected(bool wasConnected);
    void announceRestored() { emit restored(); }

signals:
    void connecting();
    void connected();
    void disconnected();
    // A connected tunnel went down without anyone asking.
    void unexpectedDrop();
    // OpenVPN made its tunnel again after a restart of its own: no drop, nothing new.
    void restored();
    void switchedToStableServer(const QString& name);
    // The failover gave up, or had no server left to try.
    void allServersFailed();
    // The service refused the connect; `text` is the alert the user sees.
    void connectRefused(const QString& text);
    void expiryWarning(const QString& text);
    void noticeArrived(qint64 id, const QString& text);
    // The attempt underway was ended by the user before it connected.
    void attemptCancelled();
    // The administrator dialog a connect needed was answered (or closed without one).
    void administratorAnswered(bool accepted);

private:
    bool m_disconnectExpected = false;
    quint64 m_generation = 0;
    bool m_reconnecting = false;
};
