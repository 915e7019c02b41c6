#include "killswitch/ServerHost.h"

#include "killswitch/KillSwitchRules.h"

#include <QLoggingCategory>
#include <arpa/inet.h>

Q_LOGGING_CATEGORY(lcServerHost, "orvel.killswitch")

namespace {

// inet_pton's forms only: four decimal parts, or IPv6 text without a scope.
std::optional<QHostAddress> strictAddress(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    if (QString::fromLatin1(bytes) != text || bytes.contains('\0'))
        return std::nullopt;
    in_addr v4{};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1)
        return QHostAddress(ntohl(v4.s_addr));
    in6_addr v6{};
    if (::inet_pton(AF_INET6, bytes.constData(), &v6) == 1)
        return QHostAddress(v6.s6_addr);
    return std::nullopt;
}

bool isLinkLocal(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol && address.isLinkLocal();
}

} // namespace

std::optional<ServerHost> ServerHost::parse(const QString& text) {
    if (const auto address = strictAddress(text)) {
        if (!isLinkLocal(*address))
            return ServerHost{*address, QString()};
        qCInfo(lcServerHost) << "skipped: a link-local server address," << text;
        return std::nullopt;
    }
    if (!KillSwitchRules::questionName(text).isEmpty())
        return ServerHost{QHostAddress(), text.toLower()};
    qCWarning(lcServerHost) << "skipped: a server host that is neither an address nor a name,"
                            << text.left(80);
    return std::nullopt;
}
