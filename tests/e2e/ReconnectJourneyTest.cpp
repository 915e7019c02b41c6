// The tunnel through trouble on the network, for real, in network namespaces only: a world
// namespace holds the OpenVPN server (which has its clients ping every second and restart
// after four silent ones) and a host outside the tunnel that says who asked; the client
// (this process's main thread and what it starts) lives in a namespace of its own with two
// links into the world. It runs as main() runs it, signs in and connects by itself at
// start, its kill switch on. While the tunnel is down, nothing may reach the outside host
// past the tunnel: the host logs every sender, and an address of the client's own links
// there is a leak.
#include "JourneySupport.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionSettings.h"
#include "core/AppState.h"
#include "desktop/ServerShortcuts.h"
#include "killswitch/KillSwitch.h"
#include "platform/SettingsPreferences.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace {

const QString kHelper = QStringLiteral(QT_TESTCASE_SOURCEDIR "/e2e/reconnect_world.py");
// On the world's loopback, so that it outlives either link into the world.
const QString kServer = QStringLiteral("10.80.0.1");
const QStringList kClientLinks = {QStringLiteral("10.77.0.2"), QStringLiteral("10.76.0.2")};

// Arguments: command, folder, suffix, helper, VPN user, VPN password.
const char* const kWorld = R"sh(
set -e
cmd=$1; dir=$2; sfx=$3; helper=$4; vpnuser=$5; vpnpass=$6
W=orvel-reconnect-w-$sfx; C=orvel-reconnect-c-$sfx
case $cmd in
down)
  for ns in $C $W; do
    for pid in $(ip netns pids $ns 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    ip netns del $ns 2>/dev/null || true
  done ;;
block)
  printf '%s\n' 'table inet reconnect_block {' \
    'chain in { type filter hook input priority 0; udp dport 1194 drop; }' \
    'chain out { type filter hook output priority 0; udp sport 1194 drop; }' '}' |
    ip netns exec $W nft -f - ;;
unblock) ip netns exec $W nft delete table inet reconnect_block ;;
up)
  mkdir -p "$dir"; cd "$dir"
  ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
  openssl req -x509 $ec -keyout ca.key -out ca.crt -days 2 -subj "/CN=Orvel Reconnect CA" 2>/dev/null
  openssl req $ec -keyout server.key -out server.csr -subj "/CN=10.80.0.1" 2>/dev/null
  printf '%s\n' 'basicConstraints=CA:FALSE' 'keyUsage=critical,digitalSignature' \
    'extendedKeyUsage=serverAuth' > ext.cnf
  openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt \
    -days 2 -extfile ext.cnf 2>/dev/null
  ip netns add $W; ip netns add $C
  ip -n $W link set lo up; ip -n $C link set lo up
  for i in 0 1; do ip -n $W link add reconnect${i}w type veth peer name reconnect${i}c netns $C; done
  ip -n $W addr add 10.77.0.1/24 dev reconnect0w; ip -n $W addr add 10.76.0.1/24 dev reconnect1w
  ip -n $W link set reconnect0w up; ip -n $W link set reconnect1w up
  ip -n $C addr add 10.77.0.2/24 dev reconnect0c; ip -n $C link set reconnect0c up
  ip -n $C route add default via 10.77.0.1
  ip -n $W addr add 10.78.0.1/32 dev lo; ip -n $W addr add 10.80.0.1/32 dev lo
  ip netns exec $W python3 "$helper" whoami 10.78.0.1 7008 "$dir"/whoami.log \
    > "$dir"/whoami.out 2>&1 < /dev/null &
  cp /usr/sbin/openvpn orvel-ovpn-srv
  printf '#!/bin/sh\n[ "$(sed -n 1p "$1")" = "%s" ] && [ "$(sed -n 2p "$1")" = "%s" ]\n' \
    "$vpnuser" "$vpnpass" > verify.sh
  chmod 755 verify.sh
  cat > server.conf <<EOC
local 10.80.0.1
port 1194
proto udp
dev orvrsrv0
dev-type tun
ca $dir/ca.crt
cert $dir/server.crt
key $dir/server.key
dh none
topology subnet
server 10.79.0.0 255.255.255.0
push "route 10.78.0.0 255.255.255.0"
verify-client-cert none
username-as-common-name
script-security 2
auth-user-pass-verify $dir/verify.sh via-file
keepalive 1 4
verb 3
EOC
  ip netns exec $W ./orvel-ovpn-srv --config server.conf --daemon --writepid srv.pid --log srv.log
  for i in $(seq 1 200); do
    grep -q "Initialization Sequence Completed" srv.log 2>/dev/null && grep -q serving whoami.out && exit 0
    sleep 0.05
  done
  exit 1 ;;
esac
)sh";

// The replies the prober got, each with the sender the outside host saw.
struct Answer {
    qint64 atMs;
    QString sender;
};

class ReconnectJourneyTest : public NamespaceJourneyTest {
protected:
    ReconnectJourneyTest()
        : NamespaceJourneyTest(kWorld, QStringLiteral("reconnect-c"), QStringLiteral("reconnect"),
                               kHelper) {}

    void SetUp() override {
        enterWorld({"nft", "python3", "openvpn", "openssl", "dbus-daemon"});
        if (IsSkipped() || HasFatalFailure())
            return;
        service().setScenario(scenario());
        storePreferences();
    }

    void TearDown() override {
        if (HasFailure())
            printTails({folder() + QStringLiteral("/srv.log")});
        for (QProcess* child : {&m_prober, &m_bus}) {
            child->kill();
            child->waitForFinished();
        }
        for (const QString& name : m_busConnections)
            QDBusConnection::disconnectFromBus(name);
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        NamespaceJourneyTest::TearDown();
    }

    Scenario scenario() const {
        const WorldServer server{QStringLiteral("World"), kServer, QStringLiteral("KT"),
                                 ovpnClientConfig(folder(), kServer, 1194)};
        return worldScenario(server, server);
    }

    // Signed in by itself, the administrator stored, the kill switch on, and the world's
    // server used last: the client connects to it as it starts.
    void storePreferences() {
        storeRememberedSignIn();
        SettingsPreferences stored(SettingsPreferences::defaultFilePath());
        stored.setValue(QLatin1String(KillSwitch::kEnabledKey), 1);
        ConnectionSettings(stored).setConnectAtStart(true);
        ServerShortcuts(stored).recordUsed(
            {QStringLiteral("OPENVPN"), kServer, QStringLiteral("World")});
    }

    // Started, connected and passing traffic; the prober asks on from here.
    void connectAtStart() {
        startClient();
        ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 30000)) << "not connected";
        ASSERT_TRUE(waitUntil([] { return appState().trafficBlocked; }, 10000)) << "no rules";
        QFile(folder() + QStringLiteral("/whoami.log")).resize(0);
        m_prober.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_prober.start(QStringLiteral("python3"),
                       {kHelper, QStringLiteral("probe"), QStringLiteral("10.78.0.1"),
                        QStringLiteral("7008")});
        ASSERT_TRUE(m_prober.waitForStarted());
        ASSERT_TRUE(waitForTrafficAfter(now(), 5000) >= 0) << "no traffic through the tunnel";
    }

    // Milliseconds from `sinceMs` to the first answer that came through the tunnel after it;
    // -1 when none came in time.
    qint64 waitForTrafficAfter(qint64 sinceMs, int timeoutMs) {
        qint64 first = -1;
        waitUntil(
            [&] {
                for (const Answer& answer : answers()) {
                    if (answer.atMs >= sinceMs && !kClientLinks.contains(answer.sender)) {
                        first = answer.atMs - sinceMs;
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return first;
    }
    QList<Answer> answers() {
        m_probed += m_prober.readAllStandardOutput();
        QList<Answer> all;
        for (const QByteArray& line : m_probed.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 2)
                all.append({words[0].toLongLong(), QString::fromLatin1(words[1])});
        }
        return all;
    }
    // Senders the outside host saw that are the client's own links: traffic past the tunnel.
    QStringList leaks() const {
        QFile log(folder() + QStringLiteral("/whoami.log"));
        QStringList found;
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                if (kClientLinks.contains(QString::fromLatin1(line)))
                    found << QString::fromLatin1(line);
            }
        }
        return found;
    }

    // A command in the client's namespace.
    static void client(const QString& command) {
        ASSERT_EQ(e2e::run(QStringLiteral("sh"), {QStringLiteral("-c"), command}), 0)
            << qPrintable(command);
    }
    // The client's OpenVPN itself, not the shell and sudo that started it; 0 when none.
    qint64 openvpnPid() {
        QByteArray output;
        e2e::run(QStringLiteral("pgrep"), {QStringLiteral("-f"), clientOpenVPNPattern()}, &output);
        for (const QByteArray& pid : output.split('\n')) {
            QFile name(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(pid.trimmed())));
            if (!pid.trimmed().isEmpty() && name.open(QIODevice::ReadOnly) &&
                name.readAll().trimmed() == "openvpn")
                return pid.trimmed().toLongLong();
        }
        return 0;
    }
    static qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }
    static void figure(const char* what, QList<qint64> runs) {
        std::sort(runs.begin(), runs.end());
        QStringList each;
        for (qint64 run : runs)
            each << QString::number(run);
        std::printf("figure: %s: median of %lld: %lld ms (runs: %s)\n", what,
                    static_cast<long long>(runs.size()),
                    static_cast<long long>(runs.at(runs.size() / 2)),
                    qPrintable(each.join(QStringLiteral(", "))));
    }
    // How many times a measured row runs; the benchmark asks for more.
    static int runs() { return std::max(1, qEnvironmentVariableIntValue("ORVEL_RECONNECT_RUNS")); }

    // A bus of its own as the system bus, and a stand-in that owns logind's name on it.
    QDBusConnection startLogindStandIn() {
        // A socket in the file system: an abstract one would belong to one network namespace.
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1"),
                     QStringLiteral("--address=unix:path=") + folder() + QStringLiteral("/bus")});
        m_bus.waitForReadyRead(5000);
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
        m_busConnections << QStringLiteral("reconnect-login1");
        QDBusConnection logind = QDBusConnection::connectToBus(address, m_busConnections.last());
        logind.registerService(QStringLiteral("org.freedesktop.login1"));
        return logind;
    }
    static void prepareForSleep(QDBusConnection& logind, bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        logind.send(signal);
    }

    QSignalSpy m_drops{&ConnectionEvents::shared(), &ConnectionEvents::unexpectedDrop};
    QSignalSpy m_connects{&ConnectionEvents::shared(), &ConnectionEvents::connected};

private:
    QProcess m_prober;
    QByteArray m_probed;
    QProcess m_bus;
    QStringList m_busConnections;
};

} // namespace

// (a) The server's side drops the client for 5 s: its OpenVPN restarts inside its own
// process (ping-restart after 4 s); the client waits for it, announces no drop, and the
// same OpenVPN carries traffic again.
TEST_F(ReconnectJourneyTest, ServerDropsTheClientFor5s_SameOpenVPNBackWithoutADrop) {
    connectAtStart();
    if (HasFatalFailure())
        return;
    const qint64 pid = openvpnPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(world(QStringLiteral("block")), 0);
    ASSERT_TRUE(waitUntil([] { return appState().isConnecting; }, 8000))
        << "OpenVPN's restart was not shown as connecting";
    QTest::qWait(1000);
    const qint64 back = now();
    ASSERT_EQ(world(QStringLiteral("unblock")), 0);
    const qint64 flowing = waitForTrafficAfter(back, 30000);
    ASSERT_GE(flowing, 0) << "no traffic after the block";
    figure("server's block lifted to traffic flowing (OpenVPN restarted inside)", {flowing});
    EXPECT_TRUE(waitUntil([] { return appState().isConnected; }, 5000));
    EXPECT_EQ(openvpnPid(), pid) << "a new launch";
    EXPECT_EQ(m_drops.count(), 0) << "a drop was announced";
    EXPECT_EQ(leaks(), QStringList()) << "traffic got past the tunnel";
}

// (b) The underlay moves: the link under the tunnel goes, a second one comes with a new
// default route.
TEST_F(ReconnectJourneyTest, UnderlayMovesToASecondLink_TrafficFlowsAgain) {
    connectAtStart();
    if (HasFatalFailure())
        return;
    client(QStringLiteral("ip link del reconnect0c"));
    QTest::qWait(500);
    const qint64 back = now();
    client(QStringLiteral("ip addr add 10.76.0.2/24 dev reconnect1c && ip link set reconnect1c up "
                          "&& ip route add default via 10.76.0.1"));
    const qint64 flowing = waitForTrafficAfter(back, 30000);
    ASSERT_GE(flowing, 0) << "no traffic over the new link";
    figure("second link up to traffic flowing", {flowing});
    EXPECT_TRUE(waitUntil([] { return appState().isConnected; }, 10000));
    EXPECT_EQ(leaks(), QStringList()) << "traffic got past the tunnel";
}

// (c) Suspend with the link down for 5 s, then resume with the link back: checked after
// resume and connected again. The benchmark runs it five times for the median.
TEST_F(ReconnectJourneyTest, SleepWithTheLinkDown_ConnectedAgainAfterResume) {
    QDBusConnection logind = startLogindStandIn();
    connectAtStart();
    if (HasFatalFailure())
        return;
    QList<qint64> flowing;
    for (int run = 0; run < runs(); ++run) {
        prepareForSleep(logind, true);
        client(QStringLiteral("ip link set reconnect0c down"));
        QTest::qWait(5000);
        const qint64 back = now();
        client(QStringLiteral("ip link set reconnect0c up && ip route add default via 10.77.0.1"));
        prepareForSleep(logind, false);
        flowing << waitForTrafficAfter(back, 30000);
        ASSERT_GE(flowing.last(), 0) << "no traffic after resume " << run;
        ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 10000));
    }
    figure("underlay back after sleep (link down 5 s) to traffic flowing", flowing);
    EXPECT_EQ(leaks(), QStringList()) << "traffic got past the tunnel";
}

// (d) Our OpenVPN dies: a drop, announced once; the client reconnects by itself with a
// new OpenVPN, announced once, and the rules stay in place in between.
TEST_F(ReconnectJourneyTest, OurOpenVPNKilled_ReconnectsByItself) {
    connectAtStart();
    if (HasFatalFailure())
        return;
    const qint64 pid = openvpnPid();
    ASSERT_GT(pid, 0);
    m_connects.clear();
    const qint64 killed = now();
    ASSERT_EQ(e2e::run(QStringLiteral("kill"), {QStringLiteral("-9"), QString::number(pid)}), 0);
    ASSERT_TRUE(waitUntil([this] { return m_drops.count() == 1; }, 5000)) << "drop unnoticed";
    EXPECT_TRUE(appState().trafficBlocked);
    // From the drop seen: an answer already on its way as OpenVPN died is no reconnect.
    const qint64 dropped = now();
    const qint64 flowing = waitForTrafficAfter(dropped, 30000);
    ASSERT_GE(flowing, 0) << "not reconnected";
    figure("OpenVPN killed to traffic flowing again (reconnected by itself)",
           {flowing + dropped - killed});
    EXPECT_TRUE(waitUntil([] { return appState().isConnected; }, 5000));
    EXPECT_NE(openvpnPid(), pid);
    EXPECT_EQ(m_drops.count(), 1);
    EXPECT_EQ(m_connects.count(), 1);
    EXPECT_EQ(leaks(), QStringList()) << "traffic got past the tunnel";
}
