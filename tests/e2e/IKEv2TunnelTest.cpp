#include "NetworkIsolation.h"
#include "platform/ProcessSwanctlRunner.h"
#include "platform/StrongSwanVpnService.h"
#include "support/MemoryItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"
#include "tunnel/VPNManager.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gmock/gmock.h>
#include <unistd.h>

using testing::ElementsAre;

namespace {

// Two network namespaces joined by a veth pair, a charon in each with its own /run, a
// CA and a server certificate. The server hands out 10.98.0.0/24 and serves
// 10.201.0.1 behind the tunnel. Arguments: up|down, folder, name suffix, base64 secret.
const char* const kWorld = R"sh(
set -e
cmd=$1; dir=$2; sfx=$3; secret=$4
S=orvel-ikes-$sfx; C=orvel-ikec-$sfx
if [ "$cmd" = down ]; then
  for f in "$dir"/srv/run/charon.pid "$dir"/cli/run/charon.pid; do
    [ -f "$f" ] && kill -9 "$(cat "$f")" 2>/dev/null || true
  done
  ip netns del $S 2>/dev/null || true
  ip netns del $C 2>/dev/null || true
  exit 0
fi
mkdir -p "$dir"/pki "$dir"/srv/run "$dir"/srv/conf/x509 "$dir"/srv/conf/private \
         "$dir"/srv/conf/x509ca "$dir"/cli/run
cd "$dir"/pki
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 \
  -subj "/CN=Orvel Test CA" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr \
  -subj "/CN=10.251.0.1" 2>/dev/null
printf '%s\n' 'basicConstraints=CA:FALSE' 'keyUsage=critical,digitalSignature,keyEncipherment' \
  'extendedKeyUsage=serverAuth,1.3.6.1.5.5.8.2.2' 'subjectAltName=IP:10.251.0.1' > ext.cnf
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt \
  -days 2 -extfile ext.cnf 2>/dev/null
cp server.crt "$dir"/srv/conf/x509/; cp server.key "$dir"/srv/conf/private/
cp ca.crt "$dir"/srv/conf/x509ca/
ip netns add $S; ip netns add $C
ip link add vks$sfx netns $S type veth peer name vkc$sfx netns $C
ip -n $S addr add 10.251.0.1/24 dev vks$sfx; ip -n $S link set vks$sfx up; ip -n $S link set lo up
ip -n $C addr add 10.251.0.2/24 dev vkc$sfx; ip -n $C link set vkc$sfx up; ip -n $C link set lo up
ip -n $S addr add 10.201.0.1/32 dev lo
for side in srv cli; do
  cat > "$dir"/$side/strongswan.conf <<EOC
charon {
  load = random nonce openssl pem pkcs1 pkcs8 x509 revocation constraints pubkey sha1 sha2 hmac aes gmp curve25519 kdf kernel-libipsec kernel-netlink socket-default vici updown eap-identity eap-mschapv2
  install_virtual_ip = yes
  plugins { vici { socket = unix://$dir/$side/charon.vici } }
  filelog { log { path = $dir/$side/charon.log
                  default = 1 } }
}
EOC
done
cat > "$dir"/srv/conf/swanctl.conf <<EOC
connections { rw { version = 2
    local_addrs = 10.251.0.1
    pools = pool4
    send_certreq = no
    local { auth = pubkey
            certs = server.crt
            id = 10.251.0.1 }
    remote { auth = eap-mschapv2
             eap_id = %any }
    children { net { local_ts = 10.201.0.0/24 } } } }
pools { pool4 { addrs = 10.98.0.0/24 } }
secrets { eap-alice { id = alice
                      secret = 0s$secret } }
EOC
for side in srv cli; do
  ns=$S; [ $side = cli ] && ns=$C
  ip netns exec $ns sh -c "mount --bind '$dir/$side/run' /run && STRONGSWAN_CONF='$dir/$side/strongswan.conf' exec /usr/lib/ipsec/charon" > "$dir/$side/charon.out" 2>&1 < /dev/null &
done
for i in $(seq 1 200); do
  [ -S "$dir/srv/charon.vici" ] && [ -S "$dir/cli/charon.vici" ] && break
  sleep 0.05
done
swanctl --load-all --file "$dir"/srv/conf/swanctl.conf --uri unix://"$dir"/srv/charon.vici > /dev/null 2>&1
)sh";

const QByteArray kServerPassword("pa\"ss\nw\\ord} #");

int runShell(const QStringList& arguments, int timeoutMs = 30000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(arguments.first(), arguments.mid(1));
    if (!process.waitForFinished(timeoutMs))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString missingPrerequisite() {
    if (::geteuid() != 0)
        return QStringLiteral("needs root for network namespaces");
    if (QString problem = e2e::networkIsolationProblem(); !problem.isEmpty())
        return problem;
    for (const char* path : {"/usr/lib/ipsec/charon", "/usr/sbin/swanctl", "/usr/bin/openssl",
                             "/usr/lib/ipsec/plugins/libstrongswan-eap-mschapv2.so",
                             "/usr/lib/ipsec/plugins/libstrongswan-kernel-libipsec.so"}) {
        if (!QFile::exists(QString::fromLatin1(path)))
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(path));
    }
    return {};
}

class StatusRecorder : public QObject {
public:
    void applyVPNStatus(VpnStatus status) {
        statuses << status;
        if (status == VpnStatus::Connected)
            connectedAfterMs = clock.elapsed();
        if (status == VpnStatus::Disconnected)
            disconnectedAfterMs = clock.elapsed();
    }
    QList<VpnStatus> statuses;
    QElapsedTimer clock;
    qint64 connectedAfterMs = -1;
    qint64 disconnectedAfterMs = -1;
};

class IKEv2TunnelTest : public OrvelTest {
protected:
    void SetUp() override {
        const QString missing = missingPrerequisite();
        if (!missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        m_suffix = QString::number(::getpid());
        m_world = tempPath() + QStringLiteral("/world");
        m_up = true;
        ASSERT_EQ(world(QStringLiteral("up")), 0) << "the namespaces and daemons did not start";

        StrongSwanVpnService::Settings settings;
        settings.profileFile = tempPath() + QStringLiteral("/data/ikev2-profile.json");
        settings.swanctlFolder = tempPath() + QStringLiteral("/data/swanctl");
        settings.viciSocket = m_world + QStringLiteral("/cli/charon.vici");
        settings.trustedCa = m_world + QStringLiteral("/pki/ca.crt");
        settings.remoteTrafficSelector = QStringLiteral("10.201.0.0/24");
        settings.timeoutSeconds = 10;
        m_swanctl = std::make_unique<ProcessSwanctlRunner>(QStringList{
            QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), clientNs()});
        m_service = std::make_unique<StrongSwanVpnService>(m_items, *m_swanctl, settings);
        m_manager = std::make_unique<VPNManager>(*m_service, m_items, preferences());
        m_manager->statusEvent.subscribe(&m_recorder, &StatusRecorder::applyVPNStatus);
    }

    void TearDown() override {
        m_manager.reset();
        m_service.reset();
        if (m_up)
            world(QStringLiteral("down"));
    }

    int world(const QString& command) {
        return runShell({QStringLiteral("bash"), QStringLiteral("-c"), QString::fromLatin1(kWorld),
                         QStringLiteral("world"), command, m_world, m_suffix,
                         QString::fromLatin1(kServerPassword.toBase64())});
    }

    QString clientNs() const { return QStringLiteral("orvel-ikec-") + m_suffix; }

    int pingInsideTheTunnel() {
        return runShell({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"),
                         clientNs(), QStringLiteral("ping"), QStringLiteral("-c"),
                         QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("2"),
                         QStringLiteral("10.201.0.1")});
    }

    QStringList connectWith(const QByteArray& password) {
        QStringList messages;
        m_recorder.clock.start();
        m_manager->connect({QStringLiteral("10.251.0.1"), QStringLiteral("alice"),
                            QString::fromUtf8(password), false, std::nullopt},
                           QStringLiteral("10.251.0.1"),
                           [&messages](const QString& message) { messages << message; });
        return messages;
    }

    MemoryItemStore m_items;
    std::unique_ptr<ProcessSwanctlRunner> m_swanctl;
    std::unique_ptr<StrongSwanVpnService> m_service;
    std::unique_ptr<VPNManager> m_manager;
    StatusRecorder m_recorder;
    QString m_world;
    QString m_suffix;
    bool m_up = false;
};

} // namespace

TEST_F(IKEv2TunnelTest, Connect_CarriesTraffic_ThenDisconnectTakesItDown) {
    const QStringList messages = connectWith(kServerPassword);
    ASSERT_TRUE(waitUntil([&] { return m_service->status() == VpnStatus::Connected; }, 20000))
        << "statuses seen: " << m_recorder.statuses.size();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_THAT(m_recorder.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected));
    EXPECT_EQ(pingInsideTheTunnel(), 0);
    std::printf("connect to Connected: %lld ms\n",
                static_cast<long long>(m_recorder.connectedAfterMs));

    m_recorder.clock.start();
    m_manager->disconnect();
    ASSERT_TRUE(waitUntil([&] { return m_service->status() == VpnStatus::Disconnected; }, 20000));
    std::printf("disconnect to Disconnected: %lld ms\n",
                static_cast<long long>(m_recorder.disconnectedAfterMs));
    EXPECT_THAT(m_recorder.statuses,
                ElementsAre(VpnStatus::Connecting, VpnStatus::Connected, VpnStatus::Disconnecting,
                            VpnStatus::Disconnected));
    EXPECT_NE(pingInsideTheTunnel(), 0);
}

TEST_F(IKEv2TunnelTest, WrongPassword_FailsWithoutEverConnecting) {
    connectWith("not-the-password");
    ASSERT_TRUE(
        waitUntil([&] { return m_recorder.statuses.contains(VpnStatus::Disconnected); }, 20000));
    std::printf("refused password to Disconnected: %lld ms\n",
                static_cast<long long>(m_recorder.disconnectedAfterMs));
    EXPECT_THAT(m_recorder.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Disconnected));
    EXPECT_NE(pingInsideTheTunnel(), 0);
}
