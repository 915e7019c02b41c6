#pragma once

#include "platform/LinkMonitor.h"

#include <memory>

class QSocketNotifier;

// A rtnetlink socket subscribed to link and IPv4 address changes, read on the main
// thread through a socket notifier.
class NetlinkLinkMonitor final : public LinkMonitor {
    Q_OBJECT
public:
    explicit NetlinkLinkMonitor(QObject* parent = nullptr);
    ~NetlinkLinkMonitor() override;

    void start() override;
    void stop() override;
    bool isRunning() const override { return m_socket >= 0; }

private:
    void readMessages();

    int m_socket = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
