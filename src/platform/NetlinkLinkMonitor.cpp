#include "platform/NetlinkLinkMonitor.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcLinks, "orvel.links")

NetlinkLinkMonitor::NetlinkLinkMonitor(QObject* parent) : LinkMonitor(parent) {}

NetlinkLinkMonitor::~NetlinkLinkMonitor() {
    stop();
}

void NetlinkLinkMonitor::start() {
    if (m_socket >= 0)
        return;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        qCWarning(lcLinks) << "no netlink socket:" << std::strerror(errno);
        return;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        qCWarning(lcLinks) << "netlink bind failed:" << std::strerror(errno);
        ::close(fd);
        return;
    }
    m_socket = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &NetlinkLinkMonitor::readMessages);
}

void NetlinkLinkMonitor::stop() {
    m_notifier.reset();
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

void NetlinkLinkMonitor::readMessages() {
    bool appeared = false;
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t length = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (length < 0 && errno == ENOBUFS) {
            appeared = true; // the queue overflowed: a new link may be among the lost
            continue;
        }
        if (length <= 0)
            break;
        int remaining = static_cast<int>(length);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_type == RTM_NEWLINK || header->nlmsg_type == RTM_NEWADDR)
                appeared = true;
        }
    }
    if (appeared)
        emit linkAppeared();
}
