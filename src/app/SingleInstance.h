#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One client per user: a second launch asks the running one to show its window again
// (what clicking the application's icon does on the other platform) and ends.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // True when this process is the first; false after the running one was told.
    bool claim();
    static QString defaultName();

signals:
    void reopenRequested();

private:
    bool notifyRunning();

    QString m_name;
    QLocalServer m_server;
};
