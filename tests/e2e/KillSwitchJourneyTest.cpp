// The kill switch for real, in network namespaces only: a "world" namespace holds the
// outside host, a resolver and the OpenVPN server; the client (this process's main
// thread, its children and the services it starts) lives in a namespace of its own,
// with a private /sys, /etc/resolv.conf and /usr/local. The client runs as main() runs
// it, its OpenVPN through its launcher, its rules through nft as the stored
// administrator. Nothing of this reaches the machine's own namespace: its ruleset,
// routes and resolver file are compared before and after.
#include "JourneySupport.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "killswitch/KillSwitch.h"
#include "platform/SettingsPreferences.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <csignal>

namespace {

const QString kWorldHelper = QStringLiteral(QT_TESTCASE_SOURCEDIR "/e2e/killswitch_world.py");
const QString kOutside = QStringLiteral("10.78.0.1");
const QString kOutside6 = QStringLiteral("fd78::1");
const QString kResolver = QStringLiteral("10.78.0.53");

// Arguments: command, folder, suffix, helper, VPN user, VPN password. Every link is made
// inside the namespaces; nothing passes through the machine's own.
const char* const kWorld = R"sh(
set -e
cmd=$1; dir=$2; sfx=$3; helper=$4; vpnuser=$5; vpnpass=$6
W=orvel-ksw-$sfx; C=orvel-ksc-$sfx
if [ "$cmd" = down ]; then
  for ns in $C $W; do
    for pid in $(ip netns pids $ns 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    ip netns del $ns 2>/dev/null || true
  done
  exit 0
fi
mkdir -p "$dir"/pki "$dir"/ovpn
cd "$dir"/pki
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 \
  -subj "/CN=Orvel Kill Switch CA" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=vpn.world.test" 2>/dev/null
printf '%s\n' 'basicConstraints=CA:FALSE' 'keyUsage=critical,digitalSignature,keyEncipherment' \
  'extendedKeyUsage=serverAuth' 'subjectAltName=DNS:vpn.world.test,IP:10.77.0.1' > ext.cnf
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt \
  -days 2 -extfile ext.cnf 2>/dev/null
ip netns add $W; ip netns add $C
ip -n $W link add kw$sfx type veth peer name kc$sfx netns $C
ip -n $W link set lo up; ip -n $C link set lo up
ip -n $W addr add 10.77.0.1/24 dev kw$sfx; ip -n $W addr add fd77::1/64 dev kw$sfx nodad
ip -n $C addr add 10.77.0.2/24 dev kc$sfx; ip -n $C addr add fd77::2/64 dev kc$sfx nodad
ip -n $W link set kw$sfx up; ip -n $C link set kc$sfx up
for a in 10.78.0.1/32 10.78.0.53/32 fd78::1/128; do ip -n $W addr add $a dev lo; done
ip -n $C route add default via 10.77.0.1
ip -n $C -6 route add default via fd77::1
ip netns exec $W python3 "$helper" serve 10.77.0.1 10.77.0.1 10.78.0.1 10.78.0.53 fd77::1 fd78::1 \
  > "$dir"/world.log 2>&1 < /dev/null &
cd "$dir"/ovpn
cp /usr/sbin/openvpn orvel-ovpn-srv
printf '#!/bin/sh\n[ "$(sed -n 1p "$1")" = "%s" ] && [ "$(sed -n 2p "$1")" = "%s" ]\n' \
  "$vpnuser" "$vpnpass" > verify.sh
chmod 755 verify.sh
cat > server.conf <<EOC
local 10.77.0.1
port 1194
proto udp
dev orvksrv0
dev-type tun
ca $dir/pki/ca.crt
cert $dir/pki/server.crt
key $dir/pki/server.key
dh none
topology subnet
server 10.79.0.0 255.255.255.0
push "route 10.78.0.0 255.255.255.0"
verify-client-cert none
username-as-common-name
script-security 2
auth-user-pass-verify $dir/ovpn/verify.sh via-file
keepalive 10 60
verb 3
EOC
ip netns exec $W ./orvel-ovpn-srv --config server.conf --daemon --writepid srv.pid --log srv.log
for i in $(seq 1 200); do
  grep -q "Initialization Sequence Completed" srv.log 2>/dev/null && grep -q serving "$dir"/world.log && exit 0
  sleep 0.05
done
exit 1
)sh";

class KillSwitchJourneyTest : public NamespaceJourneyTest {
protected:
    KillSwitchJourneyTest()
        : NamespaceJourneyTest(kWorld, QStringLiteral("ksc"), QStringLiteral("ksworld"),
                               kWorldHelper) {}

    void SetUp() override {
        // Keeps the machine's own namespaces at hand for the comparison.
        m_holder.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        ASSERT_TRUE(m_holder.waitForStarted());
        enterWorld({"nft", "python3", "openvpn", "nsenter", "openssl"});
        if (IsSkipped() || HasFatalFailure())
            return;
        m_rootBefore = rootState();
        QFile resolver(worldDir() + QStringLiteral("/resolv.conf"));
        ASSERT_TRUE(resolver.open(QIODevice::WriteOnly | QIODevice::Truncate));
        resolver.write("nameserver " + kResolver.toLatin1() + "\noptions timeout:1 attempts:2\n");
        resolver.close();
        ASSERT_EQ(
            nft(QStringLiteral("-f ") + writeFile(QStringLiteral("bystander.nft"), kBystander)), 0);
        m_bystander = listTable(QStringLiteral("ip bystander"));
        service().setScenario(scenario(1195));
        storePreferences();
    }

    void TearDown() override {
        if (HasFailure())
            printTails({folder() + QStringLiteral("/world.log"),
                        folder() + QStringLiteral("/ovpn/srv.log"),
                        worldDir() + QStringLiteral("/client.log")});
        if (m_client.state() != QProcess::NotRunning) {
            m_client.kill();
            m_client.waitForFinished();
        }
        NamespaceJourneyTest::TearDown();
        m_holder.kill();
        m_holder.waitForFinished();
    }

    // The smart match answers on `port` (1195: nobody there); the stable server is the
    // real one under another name, so the failover needs a lookup through the rules.
    Scenario scenario(quint16 port) const {
        return worldScenario({QStringLiteral("World 1"), QStringLiteral("vpn.world.test"),
                              QStringLiteral("KT"), config(QStringLiteral("vpn.world.test"), port)},
                             {QStringLiteral("World 2"), QStringLiteral("vpn2.world.test"),
                              QStringLiteral("EM"),
                              config(QStringLiteral("vpn2.world.test"), 1194)});
    }

    QString config(const QString& host, quint16 port) const {
        return ovpnClientConfig(folder() + QStringLiteral("/pki"), host, port);
    }

    // Signed in automatically, the administrator stored, the kill switch on.
    void storePreferences() {
        storeRememberedSignIn();
        SettingsPreferences(SettingsPreferences::defaultFilePath())
            .setValue(QLatin1String(KillSwitch::kEnabledKey), 1);
    }

    // What reaches the outside host, one word per way.
    QString outside() {
        const auto probe = [](const QStringList& arguments) {
            return e2e::run(QStringLiteral("python3"), QStringList{kWorldHelper} + arguments) == 0;
        };
        const auto ping = [](const QString& address) {
            return e2e::run(QStringLiteral("ping"),
                            {QStringLiteral("-c1"), QStringLiteral("-W1"), address}) == 0;
        };
        QStringList open;
        if (ping(kOutside))
            open << QStringLiteral("icmp");
        if (probe({QStringLiteral("tcp"), kOutside}))
            open << QStringLiteral("tcp");
        if (probe({QStringLiteral("udp"), kOutside}))
            open << QStringLiteral("udp");
        if (probe({QStringLiteral("dns"), kOutside, QStringLiteral("host.world.test")}))
            open << QStringLiteral("dns");
        if (ping(kOutside6))
            open << QStringLiteral("icmp6");
        if (probe({QStringLiteral("tcp"), kOutside6}))
            open << QStringLiteral("tcp6");
        return open.isEmpty() ? QStringLiteral("nothing") : open.join(QLatin1Char(' '));
    }
    bool lookUp(const QString& name, const QString& resolver = kResolver, int payload = 0) {
        return e2e::run(QStringLiteral("python3"), {kWorldHelper, QStringLiteral("dns"), resolver,
                                                    name, QString::number(payload)}) == 0;
    }

    QByteArray listTable(const QString& table) {
        QByteArray output;
        return e2e::run(QStringLiteral("nft"),
                        QStringList{QStringLiteral("list"), QStringLiteral("table")} +
                            table.split(QLatin1Char(' ')),
                        &output) == 0
                   ? output
                   : QByteArray();
    }
    QByteArray ourTable() { return listTable(QStringLiteral("inet orvelvpn")); }
    int nft(const QString& arguments) {
        return e2e::run(QStringLiteral("sh"),
                        {QStringLiteral("-c"), QStringLiteral("nft ") + arguments});
    }
    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = tempPath() + QLatin1Char('/') + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path;
    }

    // The machine's own ruleset, routes and resolver file, read from its namespaces.
    QByteArray rootState() {
        const QString pid = QString::number(m_holder.processId());
        QByteArray state;
        for (const char* command : {"nft list ruleset", "ip route show table all",
                                    "ip -6 route show table all", "cat /etc/resolv.conf"}) {
            QByteArray output;
            e2e::run(QStringLiteral("nsenter"),
                     {QStringLiteral("--net=/proc/") + pid + QStringLiteral("/ns/net"),
                      QStringLiteral("--mount=/proc/") + pid + QStringLiteral("/ns/mnt"),
                      QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(command)},
                     &output);
            state += QByteArray("== ") + command + '\n' + output;
        }
        return state;
    }

    bool utun0Up() const { return QFileInfo::exists(QStringLiteral("/sys/class/net/utun0")); }
    NetworkVC* connectWithOpenVPN() {
        startClient();
        NetworkVC* network = waitForNetworkScreen();
        if (!network)
            return nullptr;
        QTest::mouseClick(network->CheckBoxOpen, Qt::LeftButton, {},
                          QPoint(8, network->CheckBoxOpen->height() / 2));
        m_clock.start();
        QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
        return network;
    }
    void figure(const char* what, qint64 ms) { std::printf("figure: %s: %lld ms\n", what, ms); }

    static inline const QByteArray kBystander =
        "table ip bystander {\n\tset blocked {\n\t\ttype ipv4_addr\n\t\telements = { 192.0.2.1 }\n"
        "\t}\n\n\tchain out {\n\t\ttype filter hook output priority 10; policy accept;\n"
        "\t\tip daddr @blocked drop\n\t}\n}\n";

    QProcess m_holder;
    QProcess m_client;
    QByteArray m_rootBefore;
    QByteArray m_bystander;
    QElapsedTimer m_clock;
};

TEST_F(KillSwitchJourneyTest, BlocksFromConnectingThroughADrop_UntilTheUserDisconnects) {
    ASSERT_EQ(outside(), QStringLiteral("icmp tcp udp dns icmp6 tcp6")) << "the world is broken";

    NetworkVC* network = connectWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_TRUE(waitUntil([] { return appState().trafficBlocked; }, 15000)) << "no rules";
    figure("connect pressed to rules in place", m_clock.elapsed());
    EXPECT_TRUE(network->trafficBlockedLabel->isVisible());
    ASSERT_TRUE(appState().isConnecting) << "the first server must not answer";
    std::printf("rules while connecting:\n%s", ourTable().constData());
    EXPECT_EQ(outside(), QStringLiteral("nothing")) << "while connecting";
    EXPECT_TRUE(lookUp(QStringLiteral("vpn.world.test"))) << "the server's own name resolves";
    EXPECT_FALSE(lookUp(QStringLiteral("elsewhere.world.test")));
    // The same question carrying a kilobyte, or put to a host that is no resolver of
    // this machine, stays in.
    EXPECT_FALSE(lookUp(QStringLiteral("vpn.world.test"), kResolver, 1024));
    EXPECT_FALSE(lookUp(QStringLiteral("vpn.world.test"), kOutside));

    // The first server never answers: the failover finds the stable one by its name,
    // with the rules in place all along.
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 45000)) << "never connected";
    ASSERT_TRUE(waitUntil([&] { return ourTable().contains("th dport 53 drop"); }, 10000));
    EXPECT_TRUE(ourTable().contains("udp dport 1194 accept"));
    EXPECT_FALSE(ourTable().contains("udp dport 53 udp length"))
        << "the service's names are looked up through the tunnel once it is up";
    // Through the tunnel the outside host answers, over IPv4 only, and no other
    // resolver than the override's is asked, not even through the tunnel.
    EXPECT_EQ(outside(), QStringLiteral("icmp tcp udp")) << "while connected";

    QElapsedTimer drop;
    drop.start();
    ASSERT_EQ(e2e::run(QStringLiteral("pkill"),
                       {QStringLiteral("-9"), QStringLiteral("-f"), clientOpenVPNPattern()}),
              0);
    ASSERT_TRUE(waitUntil([&] { return !utun0Up(); }, 5000));
    figure("tunnel killed to interface gone (the rules were already in place)", drop.elapsed());
    ASSERT_TRUE(waitUntil([] { return !appState().isConnected; }, 5000)) << "drop unnoticed";
    figure("tunnel killed to the drop seen by the client", drop.elapsed());
    EXPECT_EQ(outside(), QStringLiteral("nothing")) << "after the drop";
    EXPECT_TRUE(network->trafficBlockedLabel->isVisible());

    // The way back after a drop is a reconnect (this time the first server answers),
    // under the same rules; the user's disconnect then takes them away.
    service().setScenario(scenario(1194));
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 30000)) << "no reconnect";
    EXPECT_TRUE(appState().trafficBlocked);
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return !appState().trafficBlocked && ourTable().isEmpty(); }))
        << "the user's disconnect left our table";
    EXPECT_FALSE(network->trafficBlockedLabel->isVisible());
    EXPECT_EQ(outside(), QStringLiteral("icmp tcp udp dns icmp6 tcp6")) << "after the disconnect";
    EXPECT_EQ(listTable(QStringLiteral("ip bystander")), m_bystander);
    EXPECT_EQ(rootState(), m_rootBefore);
}

TEST_F(KillSwitchJourneyTest, KilledClient_LeavesTheTable_TheNextStartOffersToClearIt) {
    service().setScenario(scenario(1194));
    ASSERT_TRUE(startClientProcess(m_client));
    const bool connected =
        waitUntil([&] { return utun0Up() && ourTable().contains("th dport 53 drop"); }, 30000);
    m_client.kill();
    m_client.waitForFinished();
    ASSERT_TRUE(connected) << "the client did not connect";
    EXPECT_FALSE(ourTable().isEmpty()) << "the killed client's rules are gone";
    EXPECT_EQ(outside(), QStringLiteral("icmp tcp udp")) << "its tunnel is still up";

    alerts().choiceAnswer = 1;
    startClient();
    EXPECT_EQ(alerts().choiceTexts, QStringList{localized(QStringLiteral("KILLSWITCH_LEFT"))});
    EXPECT_TRUE(waitUntil([&] { return ourTable().isEmpty(); })) << "not cleared";
    EXPECT_TRUE(waitUntil([&] { return !utun0Up(); })) << "the killed client's OpenVPN is left";
    EXPECT_EQ(outside(), QStringLiteral("icmp tcp udp dns icmp6 tcp6"));
    EXPECT_EQ(listTable(QStringLiteral("ip bystander")), m_bystander);
    EXPECT_EQ(rootState(), m_rootBefore);
}

} // namespace
