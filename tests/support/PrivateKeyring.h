#pragma once

#include <QProcess>
#include <QString>

// A session bus of its own with gnome-keyring-daemon's Secret Service on it, unlocked,
// for the life of the object; this process and its children talk to it through
// DBUS_SESSION_BUS_ADDRESS. The keyring lands in the test home.
class PrivateKeyring {
public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    // Empty when the keyring answers, otherwise why it does not.
    QString unavailable() const { return m_unavailable; }
    // What secret-tool finds for the attributes, "" when nothing.
    static QByteArray lookup(const QStringList& attributes);

private:
    QProcess m_session;
    qint64 m_keyringPid = 0;
    qint64 m_holderPid = 0;
    QString m_unavailable;
};
