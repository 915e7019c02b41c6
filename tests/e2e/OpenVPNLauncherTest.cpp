#include "LauncherRules.h"
#include "OpenVPNTestSupport.h"
#include "core/AppState.h"
#include "support/TestEnvironment.h"
#include "tunnel/OpenVPNSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

using launcher::ProcessRecord;

const QString kTunnelServer = QStringLiteral("10.242.0.1");

// The real root-owned launcher, run as root as sudo runs it for root's client: what it
// runs, what it refuses and what its stop ends. The servers are real OpenVPN 2.6 in a
// network namespace of their own, reached over veth from this test's namespace.
class OpenVPNLauncherTest : public OrvelTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the launcher refuses to run otherwise";
        if (const QString problem = e2e::networkIsolationProblem(); !problem.isEmpty())
            GTEST_SKIP() << problem.toStdString();
        for (const QString& program : {e2e::launcherPath(), QStringLiteral("/usr/sbin/openvpn")})
            if (!QFileInfo(program).isExecutable())
                GTEST_SKIP() << program.toStdString() << " is missing";
        dir = tempPath() + QStringLiteral("/world");
        home = dir + QStringLiteral("/OrvelVPN/");
        config = home + QStringLiteral("default.ovpn");
        QDir().mkpath(home);
        QDir().mkpath(QString::fromLatin1(launcher::kStateFolder));
        ASSERT_TRUE(sh(
            QStringLiteral(
                "cd '%1'; ec='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1'\n"
                "openssl req -x509 $ec -subj /CN=orvel-profile-ca -keyout ca.key -out ca.crt\n"
                "openssl req $ec -subj /CN=server -keyout server.key -out server.csr\n"
                "printf 'keyUsage=critical,digitalSignature\\nextendedKeyUsage=serverAuth\\n' > "
                "ext.cnf\n"
                "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 "
                "-extfile ext.cnf -out server.crt\n"
                "openvpn --genkey secret ta.key; openvpn --genkey tls-crypt-v2-server "
                "v2server.key\n"
                "openvpn --tls-crypt-v2 v2server.key --genkey tls-crypt-v2-client v2client.key\n"
                "printf '#!/bin/sh\\n[ \"$(cat \"$1\")\" = \"vpnuser\nvpn-pass\" ]\\n' > "
                "verify.sh\n"
                "chmod +x verify.sh; cp /usr/sbin/openvpn orvel-profile-srv\n")
                .arg(dir)));
    }

    void TearDown() override {
        if (m_client) {
            runLauncher({QStringLiteral("--stop"), config});
            m_client->waitForFinished(5000);
        }
        // The veth goes first: a namespace's links go some time after the namespace.
        if (!m_namespace.isEmpty())
            sh(QStringLiteral(
                   "ip link del profile%1c || true; ip netns pids %2 | xargs -r kill -9; "
                   "ip netns del %2")
                   .arg(::getpid())
                   .arg(m_namespace));
        const std::string path = QFile::encodeName(config).toStdString();
        for (const std::string& file : {launcher::pidFilePath(path), launcher::configCopyPath(path),
                                        launcher::authCopyPath(path)})
            QFile::remove(QString::fromStdString(file));
    }

    bool sh(const QString& script) {
        return e2e::run(QStringLiteral("sh"), {QStringLiteral("-ec"), script}) == 0;
    }
    QString key(const char* name) const {
        return QString::fromUtf8(readFile(dir + QLatin1Char('/') + QLatin1String(name)));
    }
    QString recordPath() const {
        return QString::fromStdString(
            launcher::pidFilePath(QFile::encodeName(config).toStdString()));
    }

    std::unique_ptr<QProcess> launcherProcess(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("SUDO_UID"));
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(e2e::launcherPath(), arguments);
        return process;
    }

    // Exit status; -1 when it still runs after the time.
    int runLauncher(const QStringList& arguments, QByteArray* output = nullptr,
                    int timeoutMs = 10000) {
        const std::unique_ptr<QProcess> process = launcherProcess(arguments);
        const bool finished = process->waitForFinished(timeoutMs);
        if (output)
            *output = process->readAll();
        if (finished)
            return process->exitCode();
        process->kill();
        process->waitForFinished();
        return -1;
    }

    // The server in its namespace, with `lines` added to its configuration (`$DIR`: this
    // folder), and an echo service on its tunnel side.
    bool startServer(const QString& proto, QString lines) {
        const QString tag = QString::number(::getpid());
        m_namespace = QStringLiteral("orvel-profile-") + tag;
        const QString server =
            QStringLiteral("local 10.243.0.1\nport 1194\nproto %1\ndev orvprofsrv0\ndev-type tun\n"
                           "ca $DIR/ca.crt\ncert $DIR/server.crt\nkey $DIR/server.key\ndh none\n"
                           "topology subnet\nserver 10.242.0.0 255.255.255.0\n"
                           "verify-client-cert none\nusername-as-common-name\nscript-security 2\n"
                           "auth-user-pass-verify $DIR/verify.sh via-file\n")
                .arg(proto) +
            lines;
        return writeFile(dir + QStringLiteral("/server.conf"),
                         QString(server).replace(QStringLiteral("$DIR"), dir).toUtf8()) &&
               sh(QStringLiteral(
                      "ip netns add %1; ip -n %1 link set lo up\n"
                      "ip link add profile%2c type veth peer name profile%2s netns %1\n"
                      "ip addr add 10.243.0.2/24 dev profile%2c; ip link set profile%2c up\n"
                      "ip -n %1 addr add 10.243.0.1/24 dev profile%2s; ip -n %1 link set "
                      "profile%2s up\n"
                      "ip -n %1 addr add 10.241.0.1/32 dev lo; ip -n %1 addr add 10.240.0.1/32 dev "
                      "lo\n"
                      "ip netns exec %1 '%3/orvel-profile-srv' --config '%3/server.conf' --daemon "
                      "--log '%3/server.log'\n"
                      "ip netns exec %1 python3 -c 'import socket\ns = socket.create_server((\"\", "
                      "7000))\n"
                      "while True:\n c, _ = s.accept()\n while d := c.recv(65536): c.sendall(d)\n"
                      " c.close()' > /dev/null 2>&1 &\n")
                      .arg(m_namespace, tag, dir)) &&
               waitUntil([&] {
                   return readFile(dir + QStringLiteral("/server.log"))
                       .contains("Initialization Sequence Completed");
               });
    }

    // The launcher on default.ovpn; true once OpenVPN is connected.
    bool connect() {
        m_client = launcherProcess({config});
        return e2e::waitForInitialization(*m_client, m_output);
    }

    // A payload through the echo service and back.
    QByteArray echoed(const QByteArray& payload) {
        QTcpSocket socket;
        // The echo service may still be starting.
        if (!waitUntil([&] {
                socket.abort();
                socket.connectToHost(kTunnelServer, 7000);
                return socket.waitForConnected(1000);
            }))
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
    QString config;
    QByteArray m_output;
    std::unique_ptr<QProcess> m_client;

private:
    QString m_namespace;
};

// One form of server a provider runs, and what the provider's profile adds for it.
struct ServerForm {
    const char* name;
    const char* serverLines;
    const char* profileLines = "";
    const char* proto = "udp";
    // Hosts behind the server that only what it pushes reaches.
    QStringList pushedHosts = {};
    friend void PrintTo(const ServerForm& form, std::ostream* out) { *out << form.name; }
};

class OpenVPNProviderMatrixTest : public OpenVPNLauncherTest,
                                  public testing::WithParamInterface<ServerForm> {
protected:
    // A provider's profile: the server's own options and what provider profiles carry
    // besides (Windows and script lines, tuning, checks), with CR-LF line ends.
    QString providerProfile(const ServerForm& form) const {
        QString profile =
            QStringLiteral(
                "client\ndev tun\nproto %1\nremote 10.243.0.1 1194\nresolv-retry infinite\n"
                "nobind\npersist-key\npersist-tun\nremote-cert-tls server\n"
                "verify-x509-name server name\nauth-user-pass\nauth-nocache\nreneg-sec 0\n"
                "mute-replay-warnings\nsndbuf 0\nrcvbuf 0\npersist-remote-ip\ntun-ipv6\n"
                "route-method exe\nblock-outside-dns\nregister-dns\nsetenv CLIENT_CERT 0\n"
                "script-security 2\nup /etc/openvpn/update-resolv-conf\n"
                "down /etc/openvpn/update-resolv-conf\npull-filter ignore \"ifconfig-ipv6\"\n"
                "ignore-unknown-option block-outside-dns\nverb 3\n<ca>\n%2</ca>\n")
                .arg(QLatin1String(form.proto), key("ca.crt")) +
            QString::fromLatin1(form.profileLines)
                .replace(QStringLiteral("$TA"), key("ta.key"))
                .replace(QStringLiteral("$V2"), key("v2client.key"));
        return profile.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    }
};

TEST_P(OpenVPNProviderMatrixTest, ProfileConnectsAndCarriesTraffic) {
    const ServerForm& form = GetParam();
    ASSERT_TRUE(startServer(QLatin1String(form.proto), QString::fromLatin1(form.serverLines)))
        << readFile(dir + QStringLiteral("/server.log")).right(1500).toStdString();
    appState().vpnHomeDir = home;
    appState().vpnUsername = QStringLiteral("vpnuser");
    appState().vpnPassword = QStringLiteral("vpn-pass");
    writeAuthFile();
    writeOvpnFile(providerProfile(form));

    ASSERT_TRUE(connect()) << m_output.right(2500).toStdString();
    for (const QString& host : QStringList{kTunnelServer} + form.pushedHosts)
        EXPECT_EQ(
            e2e::run(QStringLiteral("ping"), {QStringLiteral("-c2"), QStringLiteral("-W3"), host}),
            0)
            << host.toStdString();
    // Half random, half text that a compressing server shrinks.
    QByteArray payload(3 * 1024 * 1024, '\0');
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(payload.data()),
                                          payload.size() / 8);
    payload.replace(payload.size() / 2, payload.size() / 2,
                    QByteArray("orvel provider profile ")
                        .repeated(payload.size() / 46 + 1)
                        .left(payload.size() / 2));
    EXPECT_TRUE(echoed(payload) == payload) << "the TCP transfer did not come back whole";
    EXPECT_EQ(runLauncher({QStringLiteral("--stop"), config}), 0);
    EXPECT_TRUE(m_client->waitForFinished(5000));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, OpenVPNProviderMatrixTest,
    testing::Values(
        // Compressing servers: the client takes their framing, decompresses, never compresses.
        ServerForm{"CompLzoYes", "comp-lzo yes\nallow-compression yes\n", "comp-lzo\n"},
        ServerForm{"CompLzoAdaptive",
                   "comp-lzo adaptive\nallow-compression yes\npush \"comp-lzo adaptive\"\n",
                   "comp-lzo adaptive\n"},
        ServerForm{"CompressLz4V2Pushed",
                   "compress lz4-v2\nallow-compression yes\npush \"compress lz4-v2\"\n"},
        ServerForm{"CompressStubV2", "compress stub-v2\npush \"compress stub-v2\"\n",
                   "compress stub-v2\n"},
        ServerForm{"NoCompression", ""},
        ServerForm{"TlsAuthWithKeyDirection", "tls-auth $DIR/ta.key 0\n",
                   "key-direction 1\n<tls-auth>\n$TA</tls-auth>\n"},
        ServerForm{"TlsCrypt", "tls-crypt $DIR/ta.key\n", "<tls-crypt>\n$TA</tls-crypt>\n"},
        ServerForm{"TlsCryptV2", "tls-crypt-v2 $DIR/v2server.key\n",
                   "<tls-crypt-v2>\n$V2</tls-crypt-v2>\n"},
        ServerForm{"Tcp", "", "", "tcp"},
        // 2.6 negotiates only data-ciphers: the profile's cipher is carried into them.
        ServerForm{"OlderCipherOnly", "data-ciphers AES-256-CBC\nauth SHA256\n",
                   "cipher AES-256-CBC\nauth SHA256\n"},
        ServerForm{"PushesRoutesDnsAndRedirectGateway",
                   "push \"route 10.241.0.0 255.255.255.0\"\npush \"dhcp-option DNS 10.242.0.1\"\n"
                   "push \"redirect-gateway def1\"\n",
                   "",
                   "udp",
                   {QStringLiteral("10.241.0.1"), QStringLiteral("10.240.0.1")}}),
    [](const testing::TestParamInfo<ServerForm>& info) { return info.param.name; });

// Each configuration differs from the client's own in one respect; only the client's
// runs (OpenVPN then keeps trying to reach its server until stopped).
TEST_F(OpenVPNLauncherTest, Start_RunsOnlyTheClientsProfileWithItsOwnAuthFile) {
    const QString auth = dir + QStringLiteral("/run/auth.txt");
    QDir().mkpath(dir + QStringLiteral("/run"));
    QFile::setPermissions(dir + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray written = clientProfile(
        QStringLiteral("client\r\nremote 127.0.0.1 9\r\nnobind\r\nauth-user-pass\r\n<ca>\r\n") +
            key("ca.crt") + QStringLiteral("</ca>\r\n"),
        auth);
    const QString plugin = dir + QStringLiteral("/plugin.so");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() +
                                QStringLiteral("/liborvel_load_marker.so"),
                            plugin));
    const struct {
        const char* name;
        QByteArray profile;
        bool fifoAuth;
        bool runs;
    } cases[] = {
        {"as the client writes it", written, false, true},
        {"with a plugin line", written + "plugin " + plugin.toUtf8() + '\n', false, false},
        {"without client", QByteArray(written).replace("client\n", ""), false, false},
        {"with auth.txt a FIFO", written, true, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile(config, c.profile));
        QFile::remove(auth);
        ASSERT_TRUE(c.fifoAuth ? ::mkfifo(QFile::encodeName(auth).constData(), 0600) == 0
                               : writeFile(auth, "vpnuser\nvpn-pass"));
        QFile::setPermissions(auth, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QByteArray output;
        const int status = runLauncher({config}, &output, 3000);
        EXPECT_EQ(status == -1, c.runs) << c.name << ": " << output.toStdString();
        EXPECT_EQ(output.startsWith("orvel-openvpn: "), !c.runs) << c.name;
        runLauncher({QStringLiteral("--stop"), config});
    }
    EXPECT_FALSE(QFile::exists(plugin + QStringLiteral(".loaded")))
        << "root OpenVPN loaded a plugin";
}

ProcessRecord observed(qint64 pid) {
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    return {static_cast<long>(pid),
            launcher::startTimeOf(readFile(proc + QStringLiteral("stat")).toStdString()),
            readFile(proc + QStringLiteral("cmdline")).toStdString()};
}

// The stop is handed the record of a running process that ignores SIGTERM, as it is or
// with one part changed; a bystander named exactly "openvpn" runs throughout.
TEST_F(OpenVPNLauncherTest, Stop_EndsOnlyTheProcessRecordedExactly) {
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), dir + QStringLiteral("/openvpn")));
    QProcess bystander;
    bystander.start(dir + QStringLiteral("/openvpn"), {QStringLiteral("600")});
    ASSERT_TRUE(bystander.waitForStarted());
    const struct {
        const char* name;
        std::function<void(ProcessRecord&)> change;
        bool stopped;
    } cases[] = {
        {"as started", [](ProcessRecord&) {}, true},
        {"another start time (a reused pid)", [](ProcessRecord& r) { r.startTime += '0'; }, false},
        {"another argument", [](ProcessRecord& r) { r.commandLine.replace(11, 3, "601"); }, false},
    };
    for (const auto& c : cases) {
        QProcess stubborn;
        stubborn.start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec /bin/sleep 600")});
        ASSERT_TRUE(waitUntil([&] {
            return observed(stubborn.processId()).commandLine ==
                   launcher::commandLineOf({"/bin/sleep", "600"});
        }));
        ProcessRecord record = observed(stubborn.processId());
        c.change(record);
        ASSERT_TRUE(
            writeFile(recordPath(), QByteArray::fromStdString(launcher::recordText(record))));

        EXPECT_EQ(runLauncher({QStringLiteral("--stop"), config}), 0) << c.name;
        EXPECT_EQ(stubborn.waitForFinished(1000), c.stopped) << c.name;
        // A stale record goes; the record of a process still running would stay.
        EXPECT_FALSE(QFile::exists(recordPath())) << c.name;
        stubborn.kill();
        stubborn.waitForFinished();
    }
    EXPECT_EQ(bystander.state(), QProcess::Running) << "a process merely named openvpn was stopped";
    bystander.kill();
    bystander.waitForFinished();
}

} // namespace
