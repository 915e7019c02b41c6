#include "killswitch/ServerEndpoints.h"

#include "core/ServerData.h"

#include <gtest/gtest.h>

namespace {

using Transport = KillSwitchRules::Transport;

QString describe(const QList<HostEndpoint>& endpoints) {
    QStringList texts;
    for (const HostEndpoint& endpoint : endpoints)
        texts << QStringLiteral("%1 %2 %3")
                     .arg(endpoint.host, endpoint.transport == Transport::Tcp
                                             ? QStringLiteral("tcp")
                                             : QStringLiteral("udp"))
                     .arg(endpoint.port);
    return texts.join(QStringLiteral(", "));
}

TEST(ServerEndpointsTest, OpenVPNRemotes_TakeThePortAndProtocolOpenVPNWouldUse) {
    struct Case {
        const char* config;
        const char* expected;
    };
    const Case cases[] = {
        {"client\r\nremote vpn.test\r\n", "vpn.test udp 1194"},
        {"remote 10.0.0.1 443 tcp-client\nremote 10.0.0.2 1195 udp6\n",
         "10.0.0.1 tcp 443, 10.0.0.2 udp 1195"},
        // "port" and "proto" apply wherever they stand.
        {"remote a.test\nproto tcp\nport 8443\n", "a.test tcp 8443"},
        {"--remote \"b.test\" 53\n--rport 99\n", "b.test udp 53"},
        {"proto tcp\n<connection>\nremote c.test 1000\n</connection>\n"
         "<connection>\nremote d.test\nproto udp\n</connection>\n",
         "c.test tcp 1000, d.test udp 1194"},
        {"<ca>\nremote not.a.remote\n</ca>\nremote e.test 70000\n", "e.test udp 1194"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(ServerEndpoints::openVPNRemotes(QString::fromLatin1(c.config))),
                  QString::fromLatin1(c.expected))
            << c.config;
}

TEST(ServerEndpointsTest, OfServer_FollowsTheProtocolsItIsTriedWith) {
    const ServerData server(QStringLiteral("n"), QStringLiteral("ike.test"), QString(), true, true,
                            QString(), QString(), QString(), QString(),
                            QStringLiteral("remote ovpn.test 1194\n"));
    EXPECT_EQ(describe(ServerEndpoints::ofServer(server, QStringLiteral("IKEV2"))),
              QStringLiteral("ike.test udp 500, ike.test udp 4500"));
    EXPECT_EQ(describe(ServerEndpoints::ofServer(server, QStringLiteral("OPENVPN"))),
              QStringLiteral("ovpn.test udp 1194"));
    EXPECT_EQ(describe(ServerEndpoints::ofServer(server, QStringLiteral("IKEV2,OPENVPN"))),
              QStringLiteral("ike.test udp 500, ike.test udp 4500, ovpn.test udp 1194"));
}

TEST(ServerEndpointsTest, ApiHosts_AreHttpsOnTheirPort) {
    EXPECT_EQ(describe(ServerEndpoints::apiHosts({QStringLiteral("https://api.orvel.test"),
                                                  QStringLiteral("https://127.0.0.2:8443"),
                                                  QStringLiteral("not a url")})),
              QStringLiteral("api.orvel.test tcp 443, 127.0.0.2 tcp 8443"));
}

} // namespace
