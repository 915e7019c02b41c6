#pragma once

#include "platform/LinkMonitor.h"
#include "platform/RtnetlinkWatch.h"

// Link, new IPv4 address and IPv4 route announcements of the kernel's rtnetlink.
class NetlinkLinkMonitor final : public LinkMonitor {
    Q_OBJECT
public:
    explicit NetlinkLinkMonitor(QObject* parent = nullptr);

    void start() override { m_watch.start(); }
    void stop() override { m_watch.stop(); }
    bool isRunning() const override { return m_watch.isRunning(); }

private:
    RtnetlinkWatch m_watch;
};
