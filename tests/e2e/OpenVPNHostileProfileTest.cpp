#include "OpenVPNTestSupport.h"
#include "core/AppState.h"
#include "support/TestEnvironment.h"
#include "tunnel/OpenVPNProfileReader.h"
#include "tunnel/OpenVPNSession.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <memory>

namespace {

QDateTime accessTime(const QString& path) {
    return QFileInfo(path).fileTime(QFileDevice::FileAccessTime);
}

// An access time well before the last change, so that reading the file moves it.
bool ageAccessTime(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileAccessTime);
}

// The real OpenVPN 2.6 client in a network namespace of its own, reaching a real server
// in another over veth, run on the default.ovpn that writeOvpnFile made of a service
// text full of hostile lines. Tunnel devices, routes and redirect-gateway stay inside
// the namespaces.
class OpenVPNHostileProfileTest : public OrvelTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root";
        if (const QString problem = e2e::networkIsolationProblem(); !problem.isEmpty())
            GTEST_SKIP() << problem.toStdString();
        if (!QFileInfo(QStringLiteral("/usr/sbin/openvpn")).isExecutable())
            GTEST_SKIP() << "openvpn is not installed";
        if (!QFileInfo::exists(QStringLiteral("/dev/net/tun")))
            GTEST_SKIP() << "no /dev/net/tun";
        const QString tag = QString::number(::getpid());
        m_serverNs = QStringLiteral("orvhs") + tag;
        m_clientNs = QStringLiteral("orvhc") + tag;
        dir = tempPath() + QStringLiteral("/world");
        // The client's home folder needs quoting in every way OpenVPN knows.
        home = dir + QStringLiteral("/my \"home\" #1;/OrvelVPN/");
        QDir().mkpath(home);
        ASSERT_TRUE(makeNamespaces(tag)) << "cannot make the namespaces";
        ASSERT_TRUE(makeCertificates());
        ASSERT_TRUE(startServer());
        appState().vpnHomeDir = home;
        appState().vpnUsername = QStringLiteral("vpnuser");
        appState().vpnPassword = QStringLiteral("vpn-pass");
        writeAuthFile();
    }

    void TearDown() override {
        if (m_client && m_client->state() != QProcess::NotRunning) {
            m_client->kill();
            m_client->waitForFinished(5000);
        }
        if (m_serverPid > 0)
            ::kill(m_serverPid, SIGTERM);
        for (const QString& ns : {m_serverNs, m_clientNs})
            if (!ns.isEmpty())
                e2e::run(QStringLiteral("ip"),
                         {QStringLiteral("netns"), QStringLiteral("del"), ns});
    }

    bool sh(const QString& script) {
        return e2e::run(QStringLiteral("sh"), {QStringLiteral("-ec"), script}) == 0;
    }

    bool makeNamespaces(const QString& tag) {
        const QString server = QStringLiteral("ohs") + tag;
        const QString client = QStringLiteral("ohc") + tag;
        return sh(QStringLiteral("ip netns add %1; ip netns add %2\n"
                                 "ip link add %3 netns %1 type veth peer name %4 netns %2\n"
                                 "ip -n %1 addr add 10.248.0.1/24 dev %3; ip -n %1 link set %3 up\n"
                                 "ip -n %2 addr add 10.248.0.2/24 dev %4; ip -n %2 link set %4 up\n"
                                 "ip -n %1 link set lo up; ip -n %2 link set lo up\n"
                                 "ip -n %2 route add default via 10.248.0.1\n")
                      .arg(m_serverNs, m_clientNs, server, client));
    }

    bool makeCertificates() {
        return sh(
            QStringLiteral(
                "cd '%1'\n"
                "printf 'basicConstraints=CA:FALSE\\nkeyUsage=critical,digitalSignature,"
                "keyEncipherment\\nextendedKeyUsage=serverAuth\\n' > ext.cnf\n"
                "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=orvel-hostile-ca "
                "-keyout ca.key -out ca.crt 2>/dev/null\n"
                "openssl req -newkey rsa:2048 -nodes -subj /CN=server -keyout server.key "
                "-out server.csr 2>/dev/null\n"
                "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
                "-days 1 -extfile ext.cnf -out server.crt 2>/dev/null\n")
                .arg(dir));
    }

    // Named apart from "openvpn": the client's stop statement kills those.
    bool startServer() {
        const QString config =
            QStringLiteral(
                "local 10.248.0.1\nport 1194\nproto udp\ndev orvhsrv0\ndev-type tun\n"
                "ca %1/ca.crt\ncert %1/server.crt\nkey %1/server.key\ndh none\ntopology subnet\n"
                "server 10.233.0.0 255.255.255.0\nverify-client-cert none\n"
                "username-as-common-name\nscript-security 2\n"
                "auth-user-pass-verify %1/verify.sh via-file\nkeepalive 10 60\nverb 3\n")
                .arg(dir);
        const QByteArray verify = "#!/bin/sh\n[ \"$(sed -n 1p \"$1\")\" = vpnuser ] && "
                                  "[ \"$(sed -n 2p \"$1\")\" = vpn-pass ]\n";
        const QString server = dir + QStringLiteral("/orvel-hsrv");
        if (!QFile::copy(QStringLiteral("/usr/sbin/openvpn"), server) ||
            !QFile(server).setPermissions(QFile(server).permissions() | QFileDevice::ExeOwner) ||
            !writeFile(dir + QStringLiteral("/verify.sh"), verify, true) ||
            !writeFile(dir + QStringLiteral("/server.conf"), config.toUtf8()))
            return false;
        if (e2e::run(QStringLiteral("ip"),
                     {QStringLiteral("netns"), QStringLiteral("exec"), m_serverNs, server,
                      QStringLiteral("--config"), dir + QStringLiteral("/server.conf"),
                      QStringLiteral("--daemon"), QStringLiteral("--writepid"),
                      dir + QStringLiteral("/srv.pid"), QStringLiteral("--log"),
                      dir + QStringLiteral("/srv.log")}) != 0)
            return false;
        const bool ready = waitUntil([&] {
            return readFile(dir + QStringLiteral("/srv.log"))
                .contains("Initialization Sequence Completed");
        });
        m_serverPid = readFile(dir + QStringLiteral("/srv.pid")).trimmed().toInt();
        return ready && m_serverPid > 0;
    }

    // What a client profile holds, as the service sends it.
    QString normalProfile() const {
        QString ca = QString::fromUtf8(readFile(dir + QStringLiteral("/ca.crt")));
        ca.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        return QStringLiteral("client\r\ndev tun\r\nproto udp\r\nremote 10.248.0.1 1194\r\n"
                              "nobind\r\npersist-key\r\npersist-tun\r\n<ca>\r\n") +
               ca +
               QStringLiteral("</ca>\r\nremote-cert-tls server\r\nauth-user-pass\r\n"
                              "data-ciphers AES-256-GCM:AES-128-GCM\r\nauth SHA256\r\n"
                              "redirect-gateway def1\r\nkeepalive 10 60\r\nverb 3\r\n");
    }

    // Starts the client on default.ovpn in its namespace; true once it is connected.
    bool connectClient() {
        m_output.clear();
        m_client = std::make_unique<QProcess>();
        m_client->setProcessChannelMode(QProcess::MergedChannels);
        m_client->setWorkingDirectory(dir);
        m_client->start(QStringLiteral("ip"),
                        {QStringLiteral("netns"), QStringLiteral("exec"), m_clientNs,
                         QStringLiteral("/usr/sbin/openvpn"), QStringLiteral("--config"),
                         home + QStringLiteral("default.ovpn")});
        return e2e::waitForInitialization(*m_client, m_output);
    }

    void stopClient() {
        m_client->terminate();
        m_client->waitForFinished(10000);
        m_output += m_client->readAll();
    }

    bool pingThroughTheTunnel() {
        return e2e::run(QStringLiteral("ip"),
                        {QStringLiteral("netns"), QStringLiteral("exec"), m_clientNs,
                         QStringLiteral("ping"), QStringLiteral("-c"), QStringLiteral("1"),
                         QStringLiteral("-W"), QStringLiteral("3"),
                         QStringLiteral("10.233.0.1")}) == 0;
    }

    QString markerModule(const QString& name) {
        QString path = dir + QLatin1Char('/') + name;
        QFile::copy(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/liborvel_load_marker.so"),
                    path);
        return path;
    }

    QString dir;
    QString home;
    QByteArray m_output;
    std::unique_ptr<QProcess> m_client;

private:
    QString m_serverNs;
    QString m_clientNs;
    int m_serverPid = 0;
};

// Without the client's filter the glued quotes run a command as root, and a plugin
// line loads a module: what the hostile test below looks for does show.
TEST_F(OpenVPNHostileProfileTest, Unfiltered_GluedQuotesRunAndPluginsLoad) {
    const QString plugin = markerModule(QStringLiteral("plugin.so"));
    ASSERT_TRUE(writeFile(dir + QStringLiteral("/ran.sh"),
                          ("#!/bin/sh\ntouch '" + dir + "/ran'\n").toUtf8(), true));
    const QString authLine =
        QStringLiteral("auth-user-pass ") +
        QString::fromUtf8(OpenVPNProfileReader::quoted(openVpnAuthFilePath().toUtf8())) +
        QStringLiteral("\r\n");
    const QString raw = normalProfile().replace(QStringLiteral("auth-user-pass\r\n"), authLine) +
                        QStringLiteral("\"script-security\"2\r\n\"up\"\"%1/ran.sh\"\r\n").arg(dir);
    ASSERT_TRUE(writeFile(home + QStringLiteral("default.ovpn"), raw.toUtf8()));
    ASSERT_TRUE(connectClient()) << m_output.right(1500).toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("/ran")));
    stopClient();

    ASSERT_TRUE(writeFile(home + QStringLiteral("default.ovpn"),
                          ("dev null\nplugin " + plugin + "\n").toUtf8()));
    connectClient();
    EXPECT_TRUE(QFileInfo::exists(plugin + QStringLiteral(".loaded")));
}

TEST_F(OpenVPNHostileProfileTest, Filtered_NothingRunsLoadsOrTouchesFiles_AndTheTunnelWorks) {
    const QString ran = dir + QStringLiteral("/ran.sh");
    ASSERT_TRUE(writeFile(ran, ("#!/bin/sh\ntouch '" + dir + "/ran'\n").toUtf8(), true));
    const QStringList modules = {markerModule(QStringLiteral("plugin.so")),
                                 markerModule(QStringLiteral("provider.so")),
                                 markerModule(QStringLiteral("pkcs11.so"))};
    const QString victim = dir + QStringLiteral("/victim");
    const QString secret = dir + QStringLiteral("/secret");
    ASSERT_TRUE(writeFile(victim, "keep me\n"));
    ASSERT_TRUE(writeFile(secret, "proxyuser\nproxypass\n"));
    QDir().mkpath(dir + QStringLiteral("/tmp-dir"));
    const QString written = dir + QStringLiteral("/written");

    const QString hostile =
        QStringLiteral(
            // A byte-order mark on what becomes the first line, after an empty one.
            "\r\n\uFEFFup %1\r\n"
            "\"script-security\"2\r\n\"up\"\"%1\"\r\n--route-up %1\r\nsetenv opt down %1\r\n"
            "plugin %2\r\nproviders %3\r\npkcs11-providers %4\r\n"
            "log %5\r\nlog-append %6.log\r\nstatus %6.status 1\r\nwritepid %6.pid\r\n"
            "replay-persist %6.replay\r\ntmp-dir %8/tmp-dir\r\n"
            "http-proxy 10.248.0.1 3128 %7 basic\r\nsocks-proxy 10.248.0.1 1080 %7\r\n"
            "askpass %7\r\nca %7\r\nmanagement 0.0.0.0 7505\r\ndaemon\r\ncd /\r\n"
            "chroot %8\r\ncipher none\r\n"
            "<tls-crypt>\r\n#!/bin/sh\r\nup %1\r\n</tls-crypt>\r\n"
            "<cert>\r\nnot a certificate\r\n</cert>\r\n")
            .arg(ran, modules[0], modules[1], modules[2], victim, written, secret, dir);
    ASSERT_TRUE(ageAccessTime(secret));
    (void)readFile(secret);
    ASSERT_NE(accessTime(secret).date(), QDateTime::currentDateTime().addDays(-2).date())
        << "this file system does not record reads";
    ASSERT_TRUE(ageAccessTime(secret));
    const QDateTime secretRead = accessTime(secret);

    writeOvpnFile(hostile + normalProfile() +
                  QStringLiteral("register-dns\r\nblock-outside-dns\r\n"));
    ASSERT_TRUE(connectClient()) << m_output.right(2000).toStdString();
    EXPECT_TRUE(pingThroughTheTunnel());
    stopClient();

    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/ran")));
    for (const QString& module : modules)
        EXPECT_FALSE(QFileInfo::exists(module + QStringLiteral(".loaded"))) << module.toStdString();
    EXPECT_EQ(readFile(victim), "keep me\n");
    for (const char* suffix : {".log", ".status", ".pid", ".replay"})
        EXPECT_FALSE(QFileInfo::exists(written + QLatin1String(suffix))) << suffix;
    EXPECT_TRUE(QDir(dir + QStringLiteral("/tmp-dir")).isEmpty(QDir::Files | QDir::Hidden));
    EXPECT_EQ(accessTime(secret), secretRead) << "the secret file was read";
    EXPECT_FALSE(m_output.contains("cipher none")) << m_output.toStdString();
    EXPECT_FALSE(m_output.contains("MANAGEMENT")) << m_output.toStdString();
    const QByteArray ovpn = readFile(home + QStringLiteral("default.ovpn"));
    for (const QString& path : {ran, secret, victim, written, modules[0], modules[1], modules[2]})
        EXPECT_FALSE(ovpn.contains(path.toUtf8())) << path.toStdString();
}

} // namespace
