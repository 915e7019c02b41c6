#include "platform/SystemHostResolver.h"

#include "support/TestEnvironment.h"

#include <QFile>

namespace {

class SystemHostResolverTest : public OrvelTest {
protected:
    QString write(const QString& name, const QByteArray& content) {
        const QString path = tempPath() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QStringList serversOf(const QByteArray& resolvConf, const QByteArray& upstream) {
        SystemHostResolver resolver(write(QStringLiteral("resolv.conf"), resolvConf),
                                    write(QStringLiteral("upstream.conf"), upstream));
        QStringList texts;
        for (const QHostAddress& address : resolver.configuredServers())
            texts << address.toString();
        return texts;
    }
};

TEST_F(SystemHostResolverTest, ConfiguredServers_AreResolvConfsOrTheStubsUpstreamOnes) {
    const QByteArray upstream = "nameserver 192.0.2.53\nnameserver 2001:db8::53\n";
    EXPECT_EQ(serversOf("# nameserver 203.0.113.1\nsearch lan\nnameserver  10.0.0.53 \n"
                        "nameserver fe80::1%eth0\nnameserver not-an-address\n"
                        "nameserver 10.0.0.53\nnameserver 2001:db8::1\noptions edns0\n",
                        upstream),
              QStringList({"10.0.0.53", "2001:db8::1"}));
    // systemd-resolved's stub asks the servers it lists in its own file.
    EXPECT_EQ(serversOf("nameserver 127.0.0.53\noptions edns0 trust-ad\n", upstream),
              QStringList({"192.0.2.53", "2001:db8::53"}));
    EXPECT_EQ(serversOf("", upstream), QStringList());
}

} // namespace
