#include "LauncherRules.h"
#include "OpenVPNTestSupport.h"
#include "core/AppState.h"
#include "support/TestEnvironment.h"
#include "tunnel/OpenVPNSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <memory>

namespace {

// One form of server a provider runs, and the profile the provider hands out for it.
struct ServerForm {
    const char* name;
    QString serverLines; // $DIR: the folder with the server's keys
    QString profileLines;
    QString proto = QStringLiteral("udp");
    // Hosts behind the server that only its pushed routes reach.
    QStringList pushedHosts = {};
    friend void PrintTo(const ServerForm& form, std::ostream* out) { *out << form.name; }
};

// What every provider profile carries besides the server's own options: Windows and
// script lines, tuning and the usual checks.
const QString kProviderExtras = QStringLiteral(
    "client\ndev tun\nresolv-retry infinite\nnobind\npersist-key\npersist-tun\n"
    "remote-cert-tls server\nverify-x509-name server name\nauth-user-pass\nauth-nocache\n"
    "reneg-sec 0\nmute-replay-warnings\nsndbuf 0\nrcvbuf 0\npersist-remote-ip\ntun-ipv6\n"
    "route-method exe\nblock-outside-dns\nregister-dns\nsetenv CLIENT_CERT 0\n"
    "script-security 2\nup /etc/openvpn/update-resolv-conf\n"
    "down /etc/openvpn/update-resolv-conf\npull-filter ignore \"ifconfig-ipv6\"\n"
    "ignore-unknown-option block-outside-dns\nverb 3\n");

const QString kLink = QStringLiteral("10.243.0.");
const QString kTunnelServer = QStringLiteral("10.242.0.1");

// A real OpenVPN 2.6 server in a namespace of its own, reached over veth from this test's
// namespace; the client side is the client's: its writer of default.ovpn and the real
// root-owned launcher, run as root.
class OpenVPNProviderMatrixTest : public OrvelTest, public testing::WithParamInterface<ServerForm> {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root";
        if (const QString problem = e2e::networkIsolationProblem(); !problem.isEmpty())
            GTEST_SKIP() << problem.toStdString();
        for (const char* program : {"/usr/sbin/openvpn", "/usr/bin/python3"})
            if (!QFileInfo(QString::fromLatin1(program)).isExecutable())
                GTEST_SKIP() << program << " is not installed";
        if (!QFileInfo(e2e::launcherPath()).isExecutable())
            GTEST_SKIP() << "orvel-openvpn is not built";
        const QString tag = QString::number(::getpid());
        m_namespace = QStringLiteral("orvel-profile-") + tag;
        dir = tempPath() + QStringLiteral("/world");
        home = dir + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        ASSERT_TRUE(sh(
            QStringLiteral(
                "ip netns add %1\n"
                "ip link add profile%2c type veth peer name profile%2s netns %1\n"
                "ip addr add %3.2/24 dev profile%2c; ip link set profile%2c up\n"
                "ip -n %1 addr add %3.1/24 dev profile%2s; ip -n %1 link set profile%2s up\n"
                "ip -n %1 link set lo up\n"
                "ip -n %1 addr add 10.241.0.1/32 dev lo; ip -n %1 addr add 10.240.0.1/32 dev lo\n")
                .arg(m_namespace, tag, kLink.chopped(1))))
            << "cannot make the server's namespace";
        ASSERT_TRUE(makeKeys());
    }

    void TearDown() override {
        if (m_launcher) {
            e2e::run(e2e::launcherPath(),
                     {QStringLiteral("--stop"), home + QStringLiteral("default.ovpn")});
            m_launcher->waitForFinished(5000);
        }
        if (m_echo) {
            m_echo->kill();
            m_echo->waitForFinished();
        }
        if (!m_namespace.isEmpty()) {
            sh(QStringLiteral("ip netns pids %1 | xargs -r kill -9; ip netns del %1")
                   .arg(m_namespace));
        }
    }

    bool sh(const QString& script) {
        return e2e::run(QStringLiteral("sh"), {QStringLiteral("-ec"), script}) == 0;
    }

    bool makeKeys() {
        return sh(QStringLiteral(
                      "cd '%1'\n"
                      "printf 'basicConstraints=CA:FALSE\\nkeyUsage=critical,digitalSignature,"
                      "keyEncipherment\\nextendedKeyUsage=serverAuth\\n' > ext.cnf\n"
                      "ec='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes'\n"
                      "openssl req -x509 $ec -days 1 -subj /CN=orvel-profile-ca -keyout ca.key "
                      "-out ca.crt 2>/dev/null\n"
                      "openssl req $ec -subj /CN=server -keyout server.key -out server.csr "
                      "2>/dev/null\n"
                      "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
                      "-days 1 -extfile ext.cnf -out server.crt 2>/dev/null\n"
                      "openvpn --genkey secret ta.key\n"
                      "openvpn --genkey tls-crypt-v2-server v2server.key\n"
                      "openvpn --tls-crypt-v2 v2server.key --genkey tls-crypt-v2-client "
                      "v2client.key\n"
                      "printf '#!/bin/sh\\n[ \"$(sed -n 1p \"$1\")\" = vpnuser ] && "
                      "[ \"$(sed -n 2p \"$1\")\" = vpn-pass ]\\n' > verify.sh; chmod +x verify.sh\n"
                      "cp /usr/sbin/openvpn orvel-profile-srv\n")
                      .arg(dir));
    }

    // The server runs as a copy named apart from "openvpn", with an echo service on its
    // tunnel side.
    bool startServer(const ServerForm& form) {
        const QString config =
            QStringLiteral("local %1.1\nport 1194\nproto %2\ndev orvprofsrv0\ndev-type tun\n"
                           "ca %3/ca.crt\ncert %3/server.crt\nkey %3/server.key\ndh none\n"
                           "topology subnet\nserver 10.242.0.0 255.255.255.0\n"
                           "verify-client-cert none\nusername-as-common-name\nscript-security 2\n"
                           "auth-user-pass-verify %3/verify.sh via-file\nkeepalive 10 60\nverb 3\n")
                .arg(kLink.chopped(1), form.proto, dir) +
            QString(form.serverLines).replace(QStringLiteral("$DIR"), dir);
        if (!writeFile(dir + QStringLiteral("/server.conf"), config.toUtf8()) ||
            !sh(QStringLiteral("ip netns exec %1 '%2/orvel-profile-srv' --config '%2/server.conf' "
                               "--daemon --log '%2/server.log'")
                    .arg(m_namespace, dir)))
            return false;
        m_echo = std::make_unique<QProcess>();
        m_echo->start(QStringLiteral("ip"),
                      {QStringLiteral("netns"), QStringLiteral("exec"), m_namespace,
                       QStringLiteral("python3"), QStringLiteral("-c"),
                       QStringLiteral("import socket\n"
                                      "s = socket.create_server(('0.0.0.0', 7000))\n"
                                      "while True:\n"
                                      "    c, _ = s.accept()\n"
                                      "    while d := c.recv(65536):\n"
                                      "        c.sendall(d)\n"
                                      "    c.close()\n")});
        return waitUntil([&] {
            return readFile(dir + QStringLiteral("/server.log"))
                .contains("Initialization Sequence Completed");
        });
    }

    // The provider's profile for this server, with CR-LF line ends as the service sends it.
    QString providerProfile(const ServerForm& form) const {
        const auto key = [&](const char* file) {
            return QString::fromUtf8(readFile(dir + QLatin1Char('/') + QLatin1String(file)));
        };
        QString profile =
            kProviderExtras +
            QStringLiteral("proto %1\nremote %2.1 1194\n").arg(form.proto, kLink.chopped(1)) +
            QStringLiteral("<ca>\n") + key("ca.crt") + QStringLiteral("</ca>\n") +
            QString(form.profileLines)
                .replace(QStringLiteral("$TA"), key("ta.key"))
                .replace(QStringLiteral("$V2"), key("v2client.key"));
        return profile.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    }

    // The launcher run as root for root's client, as sudo would; true once connected.
    bool connect() {
        m_launcher = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("SUDO_UID"));
        m_launcher->setProcessEnvironment(environment);
        m_launcher->setProcessChannelMode(QProcess::MergedChannels);
        m_launcher->start(e2e::launcherPath(), {home + QStringLiteral("default.ovpn")});
        return waitUntil(
                   [&] {
                       m_output += m_launcher->readAll();
                       return m_output.contains("Initialization Sequence Completed") ||
                              m_launcher->state() == QProcess::NotRunning;
                   },
                   20000) &&
               m_output.contains("Initialization Sequence Completed");
    }

    bool ping(const QString& host) {
        return e2e::run(QStringLiteral("ping"),
                        {QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-W"),
                         QStringLiteral("3"), host}) == 0;
    }

    // A few megabytes through the echo service and back: half random, half text that a
    // compressing server shrinks.
    QByteArray echoed(const QByteArray& payload) {
        QTcpSocket socket;
        // The echo service may still be starting.
        const bool connected = waitUntil([&] {
            socket.abort();
            socket.connectToHost(kTunnelServer, 7000);
            return socket.waitForConnected(1000);
        });
        if (!connected)
            return {};
        socket.write(payload);
        QByteArray received;
        QElapsedTimer clock;
        clock.start();
        while (received.size() < payload.size() && clock.elapsed() < 30000) {
            socket.waitForReadyRead(1000);
            received += socket.readAll();
        }
        return received;
    }

    QString dir;
    QString home;
    QByteArray m_output;
    std::unique_ptr<QProcess> m_launcher;

private:
    QString m_namespace;
    std::unique_ptr<QProcess> m_echo;
};

TEST_P(OpenVPNProviderMatrixTest, ProfileConnectsAndCarriesTraffic) {
    const ServerForm& form = GetParam();
    ASSERT_TRUE(startServer(form))
        << readFile(dir + QStringLiteral("/server.log")).right(1500).toStdString();
    appState().vpnHomeDir = home;
    appState().vpnUsername = QStringLiteral("vpnuser");
    appState().vpnPassword = QStringLiteral("vpn-pass");
    writeAuthFile();
    writeOvpnFile(providerProfile(form));

    ASSERT_TRUE(connect()) << m_output.right(2500).toStdString();
    EXPECT_TRUE(ping(kTunnelServer));
    for (const QString& host : form.pushedHosts)
        EXPECT_TRUE(ping(host)) << host.toStdString();
    QByteArray payload(3 * 1024 * 1024, '\0');
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(payload.data()),
                                          payload.size() / 2 / sizeof(quint32));
    payload.replace(payload.size() / 2, payload.size() / 2,
                    QByteArray("orvel provider profile ")
                        .repeated(payload.size() / 46 + 1)
                        .left(payload.size() / 2));
    EXPECT_TRUE(echoed(payload) == payload) << "the TCP transfer did not come back whole";

    EXPECT_EQ(e2e::run(e2e::launcherPath(),
                       {QStringLiteral("--stop"), home + QStringLiteral("default.ovpn")}),
              0);
    EXPECT_TRUE(m_launcher->waitForFinished(5000));
    EXPECT_FALSE(readFile(dir + QStringLiteral("/server.log")).contains("Bad"))
        << readFile(dir + QStringLiteral("/server.log")).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, OpenVPNProviderMatrixTest,
    testing::Values(
        // Compressing servers: the client takes their framing, decompresses, never compresses.
        ServerForm{"CompLzoYes", QStringLiteral("comp-lzo yes\nallow-compression yes\n"),
                   QStringLiteral("comp-lzo\n")},
        ServerForm{"CompLzoAdaptive",
                   QStringLiteral("comp-lzo adaptive\nallow-compression yes\n"
                                  "push \"comp-lzo adaptive\"\n"),
                   QStringLiteral("comp-lzo adaptive\n")},
        ServerForm{"CompressLz4V2Pushed",
                   QStringLiteral("compress lz4-v2\nallow-compression yes\n"
                                  "push \"compress lz4-v2\"\n"),
                   QString()},
        ServerForm{"CompressStubV2",
                   QStringLiteral("compress stub-v2\npush \"compress stub-v2\"\n"),
                   QStringLiteral("compress stub-v2\n")},
        ServerForm{"NoCompression", QString(), QString()},
        ServerForm{"TlsAuthWithKeyDirection", QStringLiteral("tls-auth $DIR/ta.key 0\n"),
                   QStringLiteral("key-direction 1\n<tls-auth>\n$TA</tls-auth>\n")},
        ServerForm{"TlsCrypt", QStringLiteral("tls-crypt $DIR/ta.key\n"),
                   QStringLiteral("<tls-crypt>\n$TA</tls-crypt>\n")},
        ServerForm{"TlsCryptV2", QStringLiteral("tls-crypt-v2 $DIR/v2server.key\n"),
                   QStringLiteral("<tls-crypt-v2>\n$V2</tls-crypt-v2>\n")},
        ServerForm{"Tcp", QString(), QString(), QStringLiteral("tcp")},
        // 2.6 negotiates only data-ciphers: the profile's cipher is carried into them.
        ServerForm{"OlderCipherOnly", QStringLiteral("data-ciphers AES-256-CBC\nauth SHA256\n"),
                   QStringLiteral("cipher AES-256-CBC\nauth SHA256\n")},
        ServerForm{"PushesRoutesDnsAndRedirectGateway",
                   QStringLiteral("push \"route 10.241.0.0 255.255.255.0\"\n"
                                  "push \"dhcp-option DNS 10.242.0.1\"\n"
                                  "push \"redirect-gateway def1\"\n"),
                   QString(),
                   QStringLiteral("udp"),
                   {QStringLiteral("10.241.0.1"), QStringLiteral("10.240.0.1")}}),
    [](const testing::TestParamInfo<ServerForm>& info) { return info.param.name; });

} // namespace
