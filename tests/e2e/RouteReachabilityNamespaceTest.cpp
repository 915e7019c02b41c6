#include "OpenVPNTestSupport.h"
#include "platform/RouteReachability.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

// The watch for real: its rtnetlink socket is opened inside a network namespace of the
// test's own (a socket stays in the namespace it was made in), where a default route then
// comes and goes. The machine's own routes are never touched.
class RouteReachabilityNamespaceTest : public OrvelTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "network namespaces need root";
        name = QStringLiteral("orvel-route-%1").arg(::getpid());
        if (e2e::run(QStringLiteral("ip"),
                     {QStringLiteral("netns"), QStringLiteral("add"), name}) != 0)
            GTEST_SKIP() << "cannot create a network namespace";
        created = true;
        // No IPv6 in there: its link-local routes would come in later and blur the test.
        ASSERT_EQ(e2e::run(QStringLiteral("ip"),
                           {QStringLiteral("netns"), QStringLiteral("exec"), name,
                            QStringLiteral("sysctl"), QStringLiteral("-qw"),
                            QStringLiteral("net.ipv6.conf.all.disable_ipv6=1"),
                            QStringLiteral("net.ipv6.conf.default.disable_ipv6=1")}),
                  0);
        // A veth pair with both ends inside: no kernel module needed.
        ASSERT_EQ(ip({QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("r0"),
                      QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"),
                      QStringLiteral("name"), QStringLiteral("r1")}),
                  0);
        ASSERT_EQ(ip({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.77.0.1/24"),
                      QStringLiteral("dev"), QStringLiteral("r0")}),
                  0);
        for (const QString& link : {QStringLiteral("r0"), QStringLiteral("r1")})
            ASSERT_EQ(
                ip({QStringLiteral("link"), QStringLiteral("set"), link, QStringLiteral("up")}), 0);
    }
    void TearDown() override {
        if (created)
            e2e::run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), name});
    }

    int ip(QStringList arguments) {
        arguments.prepend(name);
        arguments.prepend(QStringLiteral("-n"));
        return e2e::run(QStringLiteral("ip"), arguments);
    }

    // Runs `inside` with this thread in the namespace, then comes back.
    bool inNamespace(const std::function<void()>& inside) {
        const int own = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int other =
            ::open(QFile::encodeName(QStringLiteral("/run/netns/") + name).constData(),
                   O_RDONLY | O_CLOEXEC);
        const bool entered = own >= 0 && other >= 0 && ::setns(other, CLONE_NEWNET) == 0;
        if (entered) {
            inside();
            ::setns(own, CLONE_NEWNET);
        }
        ::close(own);
        ::close(other);
        return entered;
    }

    QString name;
    bool created = false;
};

} // namespace

TEST_F(RouteReachabilityNamespaceTest, DefaultRouteComingAndGoing_IsAnnouncedAndSeen) {
    RouteReachability reachability(QStringLiteral("/proc/thread-self/net/route"),
                                   QStringLiteral("/proc/thread-self/net/ipv6_route"));
    bool reachable = true;
    ASSERT_TRUE(inNamespace([&] {
        reachability.startWatching();
        reachable = reachability.isReachable();
    }));
    EXPECT_FALSE(reachable);

    QSignalSpy changes(&reachability, &Reachability::routesChanged);
    ASSERT_EQ(ip({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("default"),
                  QStringLiteral("via"), QStringLiteral("10.77.0.2")}),
              0);
    ASSERT_TRUE(waitUntil([&] { return changes.count() > 0; }, 5000));
    inNamespace([&] { reachable = reachability.isReachable(); });
    EXPECT_TRUE(reachable);

    reachability.stopWatching();
    changes.clear();
    ip({QStringLiteral("route"), QStringLiteral("del"), QStringLiteral("default")});
    QTest::qWait(200);
    EXPECT_EQ(changes.count(), 0) << "a stopped watch stays silent";
}
