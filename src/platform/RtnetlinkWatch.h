#pragma once

#include <QList>
#include <QObject>
#include <memory>

class QSocketNotifier;

// A rtnetlink socket subscribed to some multicast groups, read on the main thread through
// a socket notifier; costs nothing while the kernel has nothing to say.
class RtnetlinkWatch final : public QObject {
    Q_OBJECT
public:
    // groups: RTMGRP_* bits; types: the RTM_* message types worth a signal.
    RtnetlinkWatch(unsigned int groups, QList<int> types, QObject* parent = nullptr);
    ~RtnetlinkWatch() override;

    // Both may be called repeatedly; a watch that cannot open its socket stays silent.
    void start();
    void stop();
    bool isRunning() const { return m_socket >= 0; }

signals:
    // One of the types arrived, or messages were lost and one may have been among them.
    void arrived();

private:
    void readMessages();

    unsigned int m_groups;
    QList<int> m_types;
    int m_socket = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
