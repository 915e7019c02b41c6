#include "tunnel/TunnelInterfaces.h"

#include "core/AppState.h"
#include "platform/InterfaceList.h"

#include <sys/socket.h>

namespace {
constexpr unsigned int kUpLoopbackRunningMask = 0x49;
constexpr unsigned int kUpAndRunning = 0x41;
} // namespace

QStringList listUpIPv4Interfaces(const InterfaceList& interfaces) {
    QStringList names;
    for (const InterfaceAddress& entry : interfaces.addresses()) {
        if ((entry.flags & kUpLoopbackRunningMask) != kUpAndRunning)
            continue;
        if (entry.family != AF_INET || entry.numericHost.isEmpty() || entry.name.isEmpty())
            continue;
        names << entry.name;
    }
    return names;
}

int countTunnelInterfaces(const InterfaceList& interfaces) {
    int count = 0;
    for (const QString& name : listUpIPv4Interfaces(interfaces)) {
        if (utunNames().contains(name))
            ++count;
    }
    return count;
}
