#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

// One client per user: a second launch asks the running one to show its window again
// (what clicking the application's icon does on the other platform) and ends. The same
// socket carries the command line's requests, one JSON line each; it lives in a folder
// only this user can enter and answers only peers of this user.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);

    // True when this process is the first; false after the running one was told.
    bool claim();
    // In $XDG_RUNTIME_DIR/orvelvpn (or a 0700 folder of this user's under /tmp), per home
    // so that a test or demo with its own home is its own client; "" when no such folder
    // can be had safely.
    static QString defaultSocketPath();
    // The folder, made 0700 when missing; "" when it exists and is not ours alone.
    static QString privateFolder(const QString& path);

signals:
    void reopenRequested();
    // One request line from a peer of this user; the receiver answers on `peer`.
    void commandReceived(QLocalSocket* peer, const QByteArray& line);
    // A line longer than a request can be; it is dropped whole and the peer may go on.
    void lineTooLong(QLocalSocket* peer);

private:
    bool notifyRunning();
    void acceptPeers();
    void readRequests(QLocalSocket* peer);

    QString m_path;
    QLocalServer m_server;
};
