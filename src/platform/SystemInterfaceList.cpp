#include "platform/SystemInterfaceList.h"

#include <ifaddrs.h>
#include <linux/if_link.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

QList<InterfaceAddress> SystemInterfaceList::addresses() const {
    QList<InterfaceAddress> list;
    ifaddrs* head = nullptr;
    if (getifaddrs(&head) != 0)
        return list;
    for (const ifaddrs* entry = head; entry; entry = entry->ifa_next) {
        // An entry without a name or an address cannot be examined.
        if (!entry->ifa_name || !entry->ifa_addr)
            continue;
        InterfaceAddress address;
        address.name = QString::fromLocal8Bit(entry->ifa_name);
        address.flags = entry->ifa_flags;
        address.family = entry->ifa_addr->sa_family;
        if (address.family == AF_INET || address.family == AF_INET6) {
            char host[1025] = {};
            const socklen_t length =
                address.family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
            if (getnameinfo(entry->ifa_addr, length, host, sizeof(host), nullptr, 0,
                            NI_NUMERICHOST) == 0)
                address.numericHost = QString::fromLatin1(host);
        } else if (address.family == AF_PACKET && entry->ifa_data) {
            const auto* stats = static_cast<const rtnl_link_stats*>(entry->ifa_data);
            address.bytesIn = stats->rx_bytes;
            address.bytesOut = stats->tx_bytes;
        }
        list << address;
    }
    freeifaddrs(head);
    return list;
}
