#include "LauncherRules.h"
#include "OpenVPNTestSupport.h"
#include "SettingsPackage.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "platform/FileItemStore.h"
#include "platform/SudoScriptRunner.h"
#include "platform/SystemInterfaceList.h"
#include "support/TestEnvironment.h"
#include "tunnel/OpenVPNSession.h"
#include "tunnel/TunnelInterfaces.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QUdpSocket>
#include <csignal>
#include <memory>

namespace {

quint16 freeUdpPort() {
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    return socket.localPort();
}

// A real OpenVPN server on loopback that checks user name and password, and the
// client side as the client sets it up: the package's launcher in vpnHomeDir, the
// working files, the privileged runner as root.
class OpenVPNTunnelTest : public OrvelTest {
protected:
    void SetUp() override {
        if (const QString missing = e2e::missingPrerequisite(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        if (!QFileInfo(QStringLiteral("/usr/sbin/openvpn")).isExecutable())
            GTEST_SKIP() << "openvpn is not installed";
        if (!QFileInfo::exists(QStringLiteral("/dev/net/tun")))
            GTEST_SKIP() << "no /dev/net/tun";
        dir = tempPath() + QStringLiteral("/world");
        QDir().mkpath(dir);
        ASSERT_TRUE(makeCertificates());
        ASSERT_TRUE(startServer());

        home = dir + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        ASSERT_TRUE(
            writeFile(home + QStringLiteral("openvpn"), SettingsPackage::launcherScript(), true));
        // The launcher of this build, found on PATH as an installed one is in its folder.
        qputenv("PATH", (QFileInfo(e2e::osascriptPath()).canonicalPath() + QLatin1Char(':') +
                         qEnvironmentVariable("PATH"))
                            .toUtf8());
        e2e::keepAdminPassword(files, e2e::kAdminPassword);
        runner =
            std::make_unique<SudoScriptRunner>(e2e::passwordItemsOf(files), e2e::osascriptPath());
        services().scriptRunner = runner.get();
        services().interfaces = &interfaces;
        AppState& state = appState();
        state.vpnHomeDir = home;
        state.adminUserName = e2e::kAdminUser;
        state.isAdminAuthorized = true;
        state.vpnUsername = QStringLiteral("vpnuser");
    }

    void TearDown() override {
        if (!home.isEmpty())
            e2e::run(QStringLiteral("pkill"),
                     {QStringLiteral("-9"), QStringLiteral("-f"), clientOpenVPNPattern()});
        if (serverPid > 0)
            ::kill(serverPid, SIGTERM);
        if (decoy.state() == QProcess::Running) {
            decoy.kill();
            decoy.waitForFinished();
        }
        if (launcher.workItem())
            launcher.workItem()->waitForFinished(10000);
    }

    bool makeCertificates() {
        const QString openssl = QStringLiteral("openssl");
        const QByteArray extensions =
            "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
            "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n";
        return writeFile(dir + QStringLiteral("/ext.cnf"), extensions) &&
               e2e::run(openssl,
                        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                         QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                         QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                         QStringLiteral("/CN=orvel-test-ca"), QStringLiteral("-keyout"),
                         dir + QStringLiteral("/ca.key"), QStringLiteral("-out"),
                         dir + QStringLiteral("/ca.crt")}) == 0 &&
               e2e::run(openssl, {QStringLiteral("req"), QStringLiteral("-newkey"),
                                  QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                                  QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                                  QStringLiteral("-keyout"), dir + QStringLiteral("/server.key"),
                                  QStringLiteral("-out"), dir + QStringLiteral("/server.csr")}) ==
                   0 &&
               e2e::run(openssl,
                        {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                         dir + QStringLiteral("/server.csr"), QStringLiteral("-CA"),
                         dir + QStringLiteral("/ca.crt"), QStringLiteral("-CAkey"),
                         dir + QStringLiteral("/ca.key"), QStringLiteral("-CAcreateserial"),
                         QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-extfile"),
                         dir + QStringLiteral("/ext.cnf"), QStringLiteral("-out"),
                         dir + QStringLiteral("/server.crt")}) == 0;
    }

    // The client's OpenVPN as the launcher runs it (with its root-owned copy of the
    // configuration) or as the package's program would (with default.ovpn).
    QString clientOpenVPNPattern() const {
        const std::string config = (home + QStringLiteral("default.ovpn")).toStdString();
        return QString::fromStdString(config) + QLatin1Char('|') +
               QString::fromStdString(launcher::configCopyPath(config));
    }

    // The server runs as a copy named orvel-ovpn-srv, apart from the client's OpenVPN.
    bool startServer() {
        port = freeUdpPort();
        const QString server = dir + QStringLiteral("/orvel-ovpn-srv");
        const QString config =
            QStringLiteral("local 127.0.0.1\nport %1\nproto udp\ndev orvsrv%2\ndev-type tun\n"
                           "ca %3/ca.crt\ncert %3/server.crt\nkey %3/server.key\ndh none\n"
                           "topology subnet\nserver 10.231.%2.0 255.255.255.0\n"
                           "verify-client-cert none\nusername-as-common-name\n"
                           "script-security 2\nauth-user-pass-verify %3/verify.sh via-file\n"
                           "keepalive 10 60\nverb 3\n")
                .arg(port)
                .arg(::getpid() % 200)
                .arg(dir);
        const QByteArray verify = "#!/bin/sh\n"
                                  "[ \"$(sed -n 1p \"$1\")\" = vpnuser ] && "
                                  "[ \"$(sed -n 2p \"$1\")\" = vpn-pass ]\n";
        if (!QFile::copy(QStringLiteral("/usr/sbin/openvpn"), server) ||
            !writeFile(dir + QStringLiteral("/verify.sh"), verify, true) ||
            !writeFile(dir + QStringLiteral("/server.conf"), config.toUtf8()))
            return false;
        QFile(server).setPermissions(QFile(server).permissions() | QFileDevice::ExeOwner);
        if (e2e::run(server, {QStringLiteral("--config"), dir + QStringLiteral("/server.conf"),
                              QStringLiteral("--daemon"), QStringLiteral("--writepid"),
                              dir + QStringLiteral("/srv.pid"), QStringLiteral("--log"),
                              dir + QStringLiteral("/srv.log")}) != 0)
            return false;
        const bool ready = waitUntil([&] {
            return readFile(dir + QStringLiteral("/srv.log"))
                .contains("Initialization Sequence Completed");
        });
        serverPid = readFile(dir + QStringLiteral("/srv.pid")).trimmed().toInt();
        return ready && serverPid > 0;
    }

    // What the service would send, with directives that must never reach OpenVPN.
    QString serviceConfig() const {
        const QString ca = QString::fromUtf8(readFile(dir + QStringLiteral("/ca.crt")));
        return QStringLiteral("client\r\ndev tun\r\nproto udp\r\nremote 127.0.0.1 %1\r\nnobind\r\n"
                              "<ca>\r\n%3</ca>\r\nremote-cert-tls server\r\nauth-user-pass\r\n"
                              "register-dns\r\nscript-security 2\r\nup %2/evil.sh\r\n"
                              "route-up %2/evil.sh\r\nverb 3\r\n")
            .arg(port)
            .arg(dir)
            .arg(QString(ca).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    }

    bool tunnelUp() const {
        return listUpIPv4Interfaces(interfaces).contains(QStringLiteral("utun0"));
    }

    QString dir;
    QString home;
    quint16 port = 0;
    int serverPid = 0;
    SystemInterfaceList interfaces;
    FileItemStore files;
    std::unique_ptr<SudoScriptRunner> runner;
    OpenVPNLauncher launcher;
    QProcess decoy;
};

TEST_F(OpenVPNTunnelTest, LaunchBringsUpUtun0_StopTakesItDownAndLeavesTheServer) {
    ASSERT_TRUE(writeFile(dir + QStringLiteral("/evil.sh"),
                          ("#!/bin/sh\ntouch " + dir + "/evil-ran\n").toUtf8(), true));
    appState().vpnPassword = QStringLiteral("vpn-pass");
    writeAuthFile();
    writeOvpnFile(serviceConfig());

    // Another program whose name contains "openvpn": the stop must leave it alone.
    const QString decoyPath = dir + QStringLiteral("/openvpn-decoy");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), decoyPath));
    decoy.start(decoyPath, {QStringLiteral("600")});
    ASSERT_TRUE(decoy.waitForStarted());

    QElapsedTimer clock;
    clock.start();
    launcher.launchOpenVPN();
    ASSERT_TRUE(waitUntil([&] { return tunnelUp(); }, 20000))
        << readFile(dir + QStringLiteral("/srv.log")).right(2000).toStdString();
    const qint64 upMs = clock.elapsed();
    EXPECT_EQ(countTunnelInterfaces(interfaces), 1);

    clock.restart();
    stopOpenVPN();
    ASSERT_TRUE(waitUntil(
        [&] { return !QFileInfo::exists(QStringLiteral("/sys/class/net/utun0")); }, 10000));
    const qint64 downMs = clock.elapsed();
    std::printf("launch to utun0 up: %lld ms; stop to utun0 gone: %lld ms\n",
                static_cast<long long>(upMs), static_cast<long long>(downMs));

    EXPECT_TRUE(launcher.workItem()->waitForFinished(10000));
    // The stop's own helper names the configuration too, until it has seen OpenVPN end.
    EXPECT_TRUE(waitUntil([&] {
        return e2e::run(QStringLiteral("pgrep"), {QStringLiteral("-f"), clientOpenVPNPattern()}) ==
               1;
    }));
    EXPECT_EQ(::kill(serverPid, 0), 0) << "the test server was killed by the stop statement";
    EXPECT_EQ(decoy.state(), QProcess::Running) << "the stop killed a process it did not start";
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/evil-ran")));
    EXPECT_FALSE(readFile(home + QStringLiteral("default.ovpn")).contains("evil.sh"));
}

TEST_F(OpenVPNTunnelTest, RefusedPassword_NeverCountsAsUp) {
    appState().vpnPassword = QStringLiteral("wrong");
    writeAuthFile();
    writeOvpnFile(serviceConfig());

    bool everUp = false;
    launcher.launchOpenVPN();
    // OpenVPN ends with status 0 after AUTH_FAILED; only the interface tells.
    ASSERT_TRUE(waitUntil(
        [&] {
            everUp = everUp || tunnelUp();
            return launcher.workItem()->isFinished();
        },
        20000));
    EXPECT_FALSE(everUp);
    EXPECT_EQ(countTunnelInterfaces(interfaces), 0);
    EXPECT_TRUE(readFile(dir + QStringLiteral("/srv.log")).contains("verification failed"));
}

} // namespace
