#include "tunnel/OpenVPNSession.h"

#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"
#include "tunnel/OpenVPNCommands.h"
#include "tunnel/PackagePin.h"
#include "tunnel/PrivilegedScript.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <condition_variable>
#include <mutex>

namespace {

QFileDevice::Permissions ownerOnly() {
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
           QFileDevice::WriteUser;
}

class OpenVPNSessionTest : public OrvelTest {
protected:
    OpenVPNSessionTest() {
        home = tempPath() + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        appState().vpnHomeDir = home;
        services().scriptRunner = &runner;
        // The launcher of this build, found on PATH as an installed one is in its folder.
        const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../src");
        if (!qEnvironmentVariable("PATH").startsWith(built))
            qputenv("PATH", (built + QLatin1Char(':') + qEnvironmentVariable("PATH")).toUtf8());
    }
    ~OpenVPNSessionTest() override { PackagePin::setLaunchOption(QString()); }

    // A package unpacked from an archive whose digest is pinned.
    void pinPackage(bool openvpnIsFile = true) {
        const QByteArray archive = "archive bytes";
        EXPECT_TRUE(writeFile(home + QStringLiteral("settings.zip"), archive));
        if (openvpnIsFile)
            EXPECT_TRUE(writeFile(home + QStringLiteral("openvpn"), "#!/bin/sh\n"));
        else
            QDir().mkpath(home + QStringLiteral("openvpn"));
        PackagePin::setLaunchOption(QString::fromLatin1(
            QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex()));
    }

    QString writtenConfig(const QString& config) {
        writeOvpnFile(config);
        return QString::fromUtf8(readFile(home + QStringLiteral("default.ovpn")));
    }

    QString authLine() const {
        return QStringLiteral("auth-user-pass \"") + auth + QStringLiteral("\"\n");
    }

    // The check of the server a usable profile needs, as the service sends it; and as it
    // ends default.ovpn, where compression is accepted from the server, never applied.
    const QString serverCheck = QStringLiteral(
        "<ca>\r\n-----BEGIN CERTIFICATE-----\r\nMIIB\r\n-----END CERTIFICATE-----\r\n</ca>\r\n");
    const QString checkWritten =
        QStringLiteral("<ca>\n-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n"
                       "</ca>\nallow-compression asym\n");

    QString home;
    const QString auth = openVpnAuthFilePath();
    RecordingScriptRunner runner{passwordItems()};
};

TEST_F(OpenVPNSessionTest, WriteOvpnFile_SixCrLfLines_KeepsThreeWithTheAuthPath) {
    const QString config = QStringLiteral(
        "client\r\nauth-user-pass\r\nregister-dns\r\nblock-outside-dns\r\n\r\nremote h\r\n");
    EXPECT_EQ(writtenConfig(config + serverCheck), QStringLiteral("client\n") + authLine() +
                                                       QStringLiteral("remote h\n") + checkWritten);
}

// Lines end at a line feed, as OpenVPN reads them, with or without a carriage return.
TEST_F(OpenVPNSessionTest, WriteOvpnFile_LineFeedsAndCrLf_AreReadAlike) {
    const QString lines = QStringLiteral("client\nauth-user-pass\nregister-dns\nremote h\n") +
                          QString(serverCheck).remove(QLatin1Char('\r'));
    const QString expected =
        QStringLiteral("client\n") + authLine() + QStringLiteral("remote h\n") + checkWritten;
    EXPECT_EQ(writtenConfig(lines), expected);
    EXPECT_EQ(writtenConfig(QString(lines).replace(QStringLiteral("\n"), QStringLiteral("\r\n"))),
              expected);
    EXPECT_EQ(writtenConfig(QStringLiteral("client\r\nauth-user-pass\nremote h\r\n") + serverCheck),
              expected);
}

TEST_F(OpenVPNSessionTest, WriteOvpnFile_MatchesSubstringsCaseSensitively) {
    const QString config =
        QStringLiteral("client\r\n# use auth-user-pass here\r\n"
                       "setenv register-dns-x 1\r\nverb 3 # Block-Outside-DNS\r\nremote h\r\n");
    EXPECT_EQ(writtenConfig(config + serverCheck), QStringLiteral("client\n") + authLine() +
                                                       QStringLiteral("verb 3\nremote h\n") +
                                                       checkWritten);
}

TEST_F(OpenVPNSessionTest, WriteOvpnFile_NothingLeft_WritesAnEmptyFile) {
    EXPECT_EQ(writtenConfig(QStringLiteral("\r\n\r\n")), QString());
    EXPECT_TRUE(QFileInfo::exists(home + QStringLiteral("default.ovpn")));
}

TEST_F(OpenVPNSessionTest, WriteOvpnFile_DropsDirectivesThatRunPrograms) {
    const QStringList unsafe = {
        QStringLiteral("up /tmp/evil.sh"),
        QStringLiteral("  down /tmp/evil.sh"),
        QStringLiteral("--route-up /tmp/evil.sh"),
        QStringLiteral("script-security 2"),
        QStringLiteral("\"up\" /tmp/evil.sh"),
        QStringLiteral("u\\p /tmp/evil.sh"),
        QStringLiteral("setenv opt up /tmp/evil.sh"),
        QStringLiteral("plugin /tmp/evil.so"),
        QStringLiteral("route-pre-down x"),
        QStringLiteral("ipchange x"),
        QStringLiteral("learn-address x"),
        QStringLiteral("tls-verify x"),
        QStringLiteral("client-connect x"),
        QStringLiteral("client-disconnect x"),
        QStringLiteral("config /tmp/other.conf"),
        QStringLiteral("iproute /tmp/ip"),
        QStringLiteral("dns-script /tmp/x"),
        QStringLiteral("UP /tmp/evil.sh"),
    };
    for (const QString& line : unsafe) {
        const QString config =
            QStringLiteral("client\r\n") + line + QStringLiteral("\r\nremote h\r\n") + serverCheck;
        EXPECT_EQ(writtenConfig(config), QStringLiteral("client\nremote h\n") + checkWritten)
            << line.toStdString();
    }
}

TEST_F(OpenVPNSessionTest, WriteOvpnFile_DropsUnsafeLinesHiddenInALoneLineFeedPiece) {
    EXPECT_EQ(writtenConfig(QStringLiteral("client\nup /tmp/evil.sh\nnobind\r\nremote h\r\n") +
                            serverCheck),
              QStringLiteral("client\nnobind\nremote h\n") + checkWritten);
}

TEST_F(OpenVPNSessionTest, WriteOvpnFile_DropsUnsafeInlineBlocksWhole) {
    const QString ca = QStringLiteral(
        "<ca>\n-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n</ca>\n");
    const QString config =
        QStringLiteral("client\r\nremote h\r\n<tls-verify>\r\n/tmp/evil.sh\r\n</tls-verify>\r\n") +
        QString(ca).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    EXPECT_EQ(writtenConfig(config), QStringLiteral("client\nremote h\n") + ca +
                                         QStringLiteral("allow-compression asym\n"));
}

TEST_F(OpenVPNSessionTest, WriteOvpnFile_KeepsRoutingAndLookalikeLines) {
    const QString config = QStringLiteral(
        "client\r\nremote up.example.net 1194\r\nredirect-gateway def1\r\nup-delay\r\n# up /x\r\n"
        "route-nopull\r\n");
    EXPECT_EQ(writtenConfig(config + serverCheck),
              QStringLiteral("client\nremote up.example.net 1194\nredirect-gateway "
                             "def1\nup-delay\nroute-nopull\n") +
                  checkWritten);
}

TEST_F(OpenVPNSessionTest, WriteAuthFile_IsUserLineFeedPasswordOwnerOnlyInAPrivateFolder) {
    const QString path = auth;
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(QFileInfo(QFileInfo(path).path()).permissions() & 0x0077, 0);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    ASSERT_TRUE(old.setPermissions(old.permissions() | QFileDevice::ReadOther));
    appState().vpnUsername = QStringLiteral("u");
    appState().vpnPassword = QStringLiteral("p");

    testing::internal::CaptureStdout();
    writeAuthFile();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(readFile(path), QByteArray("u\np"));
    EXPECT_EQ(QFileInfo(path).permissions(), ownerOnly());
    EXPECT_EQ(out, ("FilePath: " + path + "\n").toStdString());
}

TEST_F(OpenVPNSessionTest, WriteWorkingFile_MissingFolder_ReportsTheFileUrl) {
    appState().vpnHomeDir = tempPath() + QStringLiteral("/absent/");
    testing::internal::CaptureStdout();
    writeOvpnFile(QStringLiteral("client\r\n"));
    const QString out = QString::fromStdString(testing::internal::GetCapturedStdout());
    EXPECT_TRUE(
        out.startsWith(QStringLiteral("FilePath: ") + tempPath() +
                       QStringLiteral("/absent/default.ovpn\nFailed writing to URL: file://") +
                       tempPath() + QStringLiteral("/absent/default.ovpn, Error: ")))
        << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tempPath() + QStringLiteral("/absent")));
}

TEST_F(OpenVPNSessionTest, StopScript_IsRewrittenByStopButRunAsLastWrittenByRunStopScript) {
    const QString path = home + QStringLiteral("disconnect.scpt");
    appState().adminUserName = QStringLiteral("ad\"min");
    stopOpenVPN();
    const QByteArray first = readFile(path);
    // Only the OpenVPN recorded for this configuration, not every process named *openvpn*.
    ASSERT_FALSE(OpenVPNCommands::launcherPath().isEmpty());
    EXPECT_EQ(first, QByteArray("do shell script \"sudo '") +
                         OpenVPNCommands::launcherPath().toUtf8() + "' --stop '" + home.toUtf8() +
                         "default.ovpn'\" user name \"ad\\\"min\" password of keychain item "
                         "\"userpassword\" with administrator privileges");
    EXPECT_EQ(QFileInfo(path).permissions(), ownerOnly());

    appState().adminUserName = QStringLiteral("new");
    writeAuthFile();
    runStopScript();
    EXPECT_EQ(readFile(path), first);
    EXPECT_FALSE(QFileInfo::exists(auth)) << "the VPN password outlived the tunnel";

    stopOpenVPN();
    EXPECT_TRUE(readFile(path).contains("user name \"new\""));
    ASSERT_TRUE(lastOpenVPNStop()->waitForFinished(5000));
    EXPECT_EQ(runner.scriptFiles, QStringList{path});
    EXPECT_EQ(runner.statements.size(), 2);
}

// Holds every statement until released, like OpenVPN holding its launch job.
class BlockingRunner final : public ScriptRunner {
public:
    void runAppleScript(const QString& source) override {
        std::unique_lock lock(mutex);
        statements << source;
        released.wait(lock, [this] { return open; });
    }
    void runScriptFile(const QString&) override {}
    void release() {
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        released.notify_all();
    }
    QStringList recorded() {
        const std::lock_guard lock(mutex);
        return statements;
    }

private:
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    QStringList statements;
};

TEST_F(OpenVPNSessionTest, Launch_FixesTheStatementBeforeQueuingAndKeepsEarlierJobsRunning) {
    BlockingRunner blocking;
    services().scriptRunner = &blocking;
    appState().adminUserName = QStringLiteral("first");
    writeOvpnFile(QStringLiteral("client\r\nremote h\r\n") + serverCheck);
    OpenVPNLauncher launcher;

    launcher.launchOpenVPN();
    const std::shared_ptr<WorkItem> first = launcher.workItem();
    appState().adminUserName = QStringLiteral("second");
    launcher.launchOpenVPN();
    ASSERT_TRUE(waitUntil([&] { return blocking.recorded().size() == 2; }));

    EXPECT_NE(launcher.workItem(), first);
    EXPECT_FALSE(first->isFinished());
    QStringList expected = {
        makeItemPrivilegedScript(OpenVPNCommands::launchCommand(home), QStringLiteral("first"),
                                 QStringLiteral("userpassword")),
        makeItemPrivilegedScript(OpenVPNCommands::launchCommand(home), QStringLiteral("second"),
                                 QStringLiteral("userpassword"))};
    QStringList recorded = blocking.recorded();
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, expected);

    blocking.release();
    EXPECT_TRUE(first->waitForFinished(5000));
    EXPECT_TRUE(launcher.workItem()->waitForFinished(5000));
}

// A stop not yet run would end whatever OpenVPN is recorded by then: the launch after it
// waits for it.
TEST_F(OpenVPNSessionTest, Launch_WaitsForTheStopBeforeIt) {
    BlockingRunner blocking;
    services().scriptRunner = &blocking;
    writeOvpnFile(QStringLiteral("client\r\nremote h\r\n") + serverCheck);
    stopOpenVPN();
    OpenVPNLauncher launcher;
    launcher.launchOpenVPN();
    ASSERT_TRUE(waitUntil([&] { return !blocking.recorded().isEmpty(); }));
    QTest::qWait(200);
    ASSERT_EQ(blocking.recorded().size(), 1) << "the launch overtook the stop";
    EXPECT_TRUE(blocking.recorded().first().contains(QStringLiteral("--stop")));
    blocking.release();
    ASSERT_TRUE(launcher.workItem()->waitForFinished(5000));
    EXPECT_EQ(blocking.recorded().size(), 2);
}

// What runs as root: the package's program only from an archive that matched the pin,
// the client's own launcher otherwise; each path one shell word whatever it holds.
TEST_F(OpenVPNSessionTest, LaunchCommand_PackageProgramOnlyWhenPinned) {
    home = tempPath() + QStringLiteral("/my 'home/OrvelVPN/");
    QDir().mkpath(home);
    const QString viaLauncher = QStringLiteral("sudo ") +
                                shellQuoted(OpenVPNCommands::launcherPath()) + QLatin1Char(' ') +
                                shellQuoted(home + QStringLiteral("default.ovpn"));
    EXPECT_EQ(OpenVPNCommands::launchCommand(home), viaLauncher) << "nothing pinned";

    pinPackage();
    const QString pinned = OpenVPNCommands::launchCommand(home);
    EXPECT_TRUE(pinned.startsWith(QStringLiteral("sudo /bin/sh -c ")));
    EXPECT_TRUE(pinned.endsWith(shellQuoted(home + QStringLiteral("openvpn")) + QLatin1Char(' ') +
                                shellQuoted(home + QStringLiteral("default.ovpn"))));

    EXPECT_TRUE(writeFile(home + QStringLiteral("settings.zip"), "another archive"));
    EXPECT_EQ(OpenVPNCommands::launchCommand(home), viaLauncher) << "digest differs";

    QFile::remove(home + QStringLiteral("openvpn"));
    pinPackage(false);
    EXPECT_EQ(OpenVPNCommands::launchCommand(home), viaLauncher) << "openvpn is a folder";
}

class InstallAndLaunchTest : public OpenVPNSessionTest {
protected:
    InstallAndLaunchTest() {
        appState().currentServer = std::make_shared<ServerData>(
            QStringLiteral("Seoul"), QStringLiteral("h"), QStringLiteral("h"), true, true,
            QStringLiteral("KR"), QString(), QString(), QStringLiteral("OPENVPN"),
            QStringLiteral("client\r\nremote h\r\nauth-user-pass\r\n") + serverCheck);
        appState().vpnUsername = QStringLiteral("vpnuser");
        appState().vpnPassword = QStringLiteral("vpnpass");
        appState().adminUserName = QStringLiteral("admin");
    }

    OpenVPNLauncher launcher{{[this] { events << QStringLiteral("connecting"); },
                              [this] { events << QStringLiteral("dialog"); }}};
    QStringList events;
};

TEST_F(InstallAndLaunchTest, AuthorizedPinned_CopiesTheFoldersWritesTheFilesAndLaunches) {
    pinPackage();
    appState().isAdminAuthorized = true;
    launcher.installAndLaunchOpenVPN();
    ASSERT_TRUE(launcher.workItem() && launcher.workItem()->waitForFinished(5000));

    EXPECT_EQ(events, QStringList({QStringLiteral("connecting"), QStringLiteral("connecting")}));
    ASSERT_EQ(runner.statements.size(), 3);
    EXPECT_EQ(runner.statements[0],
              QStringLiteral("do shell script \"sudo cp -R '") + home +
                  QStringLiteral("/Cellar' /usr/local\" user name \"admin\" password of keychain "
                                 "item \"userpassword\" with administrator privileges"));
    EXPECT_TRUE(runner.statements[1].startsWith(QStringLiteral("do shell script \"sudo cp -R '") +
                                                home + QStringLiteral("/opt' /usr/local\"")));
    EXPECT_TRUE(runner.statements[2].contains(QStringLiteral("openvpn' '")));
    EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
    EXPECT_EQ(readFile(auth), QByteArray("vpnuser\nvpnpass"));
    EXPECT_EQ(readFile(home + QStringLiteral("default.ovpn")),
              (QStringLiteral("client\nremote h\n") + authLine() + checkWritten).toUtf8());
}

TEST_F(InstallAndLaunchTest, AuthorizedUnpinned_CopiesNothingIntoUsrLocal) {
    appState().isAdminAuthorized = true;
    launcher.installAndLaunchOpenVPN();
    ASSERT_TRUE(launcher.workItem() && launcher.workItem()->waitForFinished(5000));

    ASSERT_EQ(runner.statements.size(), 1);
    EXPECT_EQ(runner.statements[0], makePrivilegedScript(OpenVPNCommands::launchCommand(home)));
    EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
}

// The same server with a profile that lacks only "client": OpenVPN would have run as a
// server of anyone.
TEST_F(InstallAndLaunchTest, NotAClientProfile_RunsNothingAndNamesTheServer) {
    appState().isAdminAuthorized = true;
    appState().currentServer->config =
        QStringLiteral("remote h\r\nauth-user-pass\r\n") + serverCheck;
    launcher.installAndLaunchOpenVPN();

    EXPECT_TRUE(runner.statements.isEmpty());
    EXPECT_FALSE(launcher.workItem());
    EXPECT_EQ(readFile(home + QStringLiteral("default.ovpn")), QByteArray());
    ASSERT_EQ(alerts().confirmTexts.size(), 1);
    EXPECT_TRUE(alerts().confirmTexts[0].contains(QStringLiteral("\"Seoul\"")))
        << alerts().confirmTexts[0].toStdString();
}

TEST_F(InstallAndLaunchTest, NotAuthorized_WritesTheFilesAndAsksForTheAdministrator) {
    launcher.installAndLaunchOpenVPN();

    EXPECT_EQ(events, QStringList({QStringLiteral("connecting"), QStringLiteral("dialog")}));
    EXPECT_TRUE(runner.statements.isEmpty());
    EXPECT_FALSE(launcher.workItem());
    EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
    EXPECT_EQ(readFile(auth), QByteArray("vpnuser\nvpnpass"));
}

} // namespace
