#include "platform/RtnetlinkWatch.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcNetlink, "orvel.netlink")

RtnetlinkWatch::RtnetlinkWatch(unsigned int groups, QList<int> types, QObject* parent)
    : QObject(parent), m_groups(groups), m_types(std::move(types)) {}

RtnetlinkWatch::~RtnetlinkWatch() {
    stop();
}

void RtnetlinkWatch::start() {
    if (m_socket >= 0)
        return;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        qCWarning(lcNetlink) << "no netlink socket:" << std::strerror(errno);
        return;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = m_groups;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        qCWarning(lcNetlink) << "netlink bind failed:" << std::strerror(errno);
        ::close(fd);
        return;
    }
    m_socket = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &RtnetlinkWatch::readMessages);
}

void RtnetlinkWatch::stop() {
    m_notifier.reset();
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

void RtnetlinkWatch::readMessages() {
    bool wanted = false;
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t length = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (length < 0 && errno == ENOBUFS) {
            wanted = true; // the queue overflowed: a wanted message may be among the lost
            continue;
        }
        if (length <= 0)
            break;
        // NLMSG_OK/NLMSG_NEXT, spelled out with one unsigned count: the macros compare the
        // header's unsigned length with a signed one.
        const auto total = static_cast<size_t>(length);
        for (size_t offset = 0; offset + sizeof(nlmsghdr) <= total;) {
            const auto* header = reinterpret_cast<const nlmsghdr*>(buffer + offset);
            if (header->nlmsg_len < sizeof(nlmsghdr) || header->nlmsg_len > total - offset)
                break;
            if (m_types.contains(header->nlmsg_type))
                wanted = true;
            offset += NLMSG_ALIGN(header->nlmsg_len);
        }
    }
    if (wanted)
        emit arrived();
}
