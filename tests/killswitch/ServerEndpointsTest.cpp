#include "killswitch/ServerEndpoints.h"

#include "core/ServerData.h"

#include <gtest/gtest.h>

namespace {

using Transport = KillSwitchRules::Transport;

QString describe(const QList<HostEndpoint>& endpoints) {
    QStringList texts;
    for (const HostEndpoint& endpoint : endpoints)
        texts << QStringLiteral("%1 %2 %3")
                     .arg(endpoint.host.name.isEmpty() ? endpoint.host.address.toString()
                                                       : endpoint.host.name,
                          endpoint.transport == Transport::Tcp ? QStringLiteral("tcp")
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
        {"--remote \"B.test\" 53\n--rport 99\n", "b.test udp 53"},
        {"proto tcp\n<connection>\nremote c.test 1000\n</connection>\n"
         "<connection>\nremote d.test\nproto udp\n</connection>\n",
         "c.test tcp 1000, d.test udp 1194"},
        {"<ca>\nremote not.a.remote\n</ca>\nremote e.test 70000\n", "e.test udp 1194"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(ServerEndpoints::openVPNRemotes(QByteArray(c.config))),
                  QString::fromLatin1(c.expected))
            << c.config;
}

// The remotes are those of the profile OpenVPN is given: a line the filter drops opens
// nothing, its twin that the filter keeps does.
TEST(ServerEndpointsTest, OfServer_FollowsTheProtocolsItIsTriedWithAndTheFilteredProfile) {
    const QString config = QStringLiteral("client\r\nremote ovpn.test 1194\r\n"
                                          "remote dropped.test 1194 udp surplus-word\r\n"
                                          "<ca>\r\n-----BEGIN CERTIFICATE-----\r\nQUJD\r\n"
                                          "-----END CERTIFICATE-----\r\n</ca>\r\n");
    const ServerData server(QStringLiteral("n"), QStringLiteral("ike.test"), QString(), true, true,
                            QString(), QString(), QString(), QString(), config);
    EXPECT_EQ(describe(ServerEndpoints::ofServer(server, QStringLiteral("IKEV2"))),
              QStringLiteral("ike.test udp 500, ike.test udp 4500"));
    EXPECT_EQ(describe(ServerEndpoints::ofServer(server, QStringLiteral("OPENVPN"))),
              QStringLiteral("ovpn.test udp 1194"));
    EXPECT_EQ(describe(ServerEndpoints::ofServer(server, QStringLiteral("IKEV2,OPENVPN"))),
              QStringLiteral("ike.test udp 500, ike.test udp 4500, ovpn.test udp 1194"));
}

TEST(ServerEndpointsTest, ApiHosts_AreHttpsOnTheirPort) {
    EXPECT_EQ(
        describe(ServerEndpoints::apiHosts(
            {QStringLiteral("https://api.orvel.test"), QStringLiteral("https://127.0.0.2:8443"),
             QStringLiteral("https://[fe80::1%25eth0]"), QStringLiteral("not a url")})),
        QStringLiteral("api.orvel.test tcp 443, 127.0.0.2 tcp 8443"));
}

// Each hostile host against a twin that differs in the one respect the check is about.
TEST(ServerEndpointsTest, Host_TakesAddressesByNumberAndWholeNamesOnly) {
    struct Case {
        const char* text;
        const char* expected; // "" when refused
    };
    const Case cases[] = {
        {"fe80::%1 udp dport 1 accept;};};flush ruleset;table inet orvelvpn{chain allowed{#", ""},
        {"2001:db8::1%eth0", ""},
        {"2001:db8::1", "2001:db8::1"},
        {"fe80::1", ""},
        {"10.1.2.3%1", ""},
        {"10.1.2.3", "10.1.2.3"},
        {"vpn.test\n", ""},
        {"vpn.test", "vpn.test"},
        {"vpn.test\" accept comment \"x", ""},
        {"VPN.Test", "vpn.test"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const auto host = ServerHost::parse(QString::fromLatin1(c.text));
        const QString parsed = !host                  ? QString()
                               : host->name.isEmpty() ? host->address.toString()
                                                      : host->name;
        EXPECT_EQ(parsed, QString::fromLatin1(c.expected)) << c.text;
        EXPECT_TRUE(!host || host->address.scopeId().isEmpty()) << c.text;
    }
    const QString longName = QString(60, QLatin1Char('a')) + QStringLiteral(".") +
                             QString(60, QLatin1Char('b')) + QStringLiteral(".") +
                             QString(60, QLatin1Char('c')) + QStringLiteral(".test");
    ASSERT_TRUE(ServerHost::parse(longName)) << "a long name is still a name";
    EXPECT_EQ(ServerHost::parse(longName)->name, longName);
}

} // namespace
