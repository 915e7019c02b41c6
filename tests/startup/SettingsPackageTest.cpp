#include "startup/SettingsPackage.h"

#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "support/MemoryItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <sys/stat.h>
#include <zip.h>

namespace {

struct Entry {
    QByteArray name;
    QByteArray content;
    mode_t mode = S_IFREG | 0644;
};

// Writes a ZIP with libzip, stored uncompressed so a test can damage an entry's bytes.
void writeArchive(const QString& path, const QList<Entry>& entries) {
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_TRUE(archive);
    for (const Entry& entry : entries) {
        zip_int64_t index = -1;
        if (S_ISDIR(entry.mode)) {
            index = zip_dir_add(archive, entry.name.constData(), 0);
        } else {
            zip_source_t* source =
                zip_source_buffer(archive, entry.content.constData(), entry.content.size(), 0);
            index = zip_file_add(archive, entry.name.constData(), source, ZIP_FL_OVERWRITE);
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
        ASSERT_GE(index, 0) << entry.name.constData();
        zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0,
                                         ZIP_OPSYS_UNIX,
                                         static_cast<zip_uint32_t>(entry.mode) << 16);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// Every path below root with its content, to prove that nothing changed.
QStringList snapshot(const QString& root) {
    QStringList listing;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        listing << path + QLatin1Char('=') + QString::fromUtf8(readFile(path).toHex());
    }
    listing.sort();
    return listing;
}

const Entry kLauncher{"openvpn", "#!/bin/sh\nexec true\n", S_IFREG | 0755};

class UnpackTest : public OrvelTest {
protected:
    UnpackTest() {
        folder = tempPath() + QStringLiteral("/work/OrvelVPN/");
        archive = tempPath() + QStringLiteral("/work/OrvelVPN/settings.zip");
        EXPECT_TRUE(writeFile(folder + QStringLiteral("auth.txt"), "u\np"));
        EXPECT_TRUE(writeFile(folder + QStringLiteral("Cellar/stale/file"), "stale"));
    }

    bool unpack(const UnpackLimits& limits = {}) {
        return unpackSettingsArchive(archive, folder, limits, &error);
    }

    void expectRefusedWithNothingWritten(const QList<Entry>& entries,
                                         const UnpackLimits& limits = {}) {
        writeArchive(archive, entries);
        const QStringList before = snapshot(tempPath());
        EXPECT_FALSE(unpack(limits));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(snapshot(tempPath()), before);
    }

    QString folder;
    QString archive;
    QString error;
};

TEST_F(UnpackTest, Package_UnpacksKeepingTheExecutableBitAndReplacingTopLevelFolders) {
    writeArchive(archive, {kLauncher,
                           {"Cellar/", {}, S_IFDIR | 0755},
                           {"Cellar/orvel/README", "cellar", S_IFREG | 0644},
                           {"opt/orvel/README", "opt", S_IFREG | 0644}});
    ASSERT_TRUE(unpack()) << error.toStdString();

    EXPECT_EQ(readFile(folder + QStringLiteral("openvpn")), kLauncher.content);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("openvpn")).isExecutable());
    EXPECT_FALSE(QFileInfo(folder + QStringLiteral("Cellar/orvel/README")).isExecutable());
    EXPECT_EQ(readFile(folder + QStringLiteral("Cellar/orvel/README")), QByteArray("cellar"));
    EXPECT_EQ(readFile(folder + QStringLiteral("opt/orvel/README")), QByteArray("opt"));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("Cellar/stale")));
    EXPECT_EQ(readFile(folder + QStringLiteral("auth.txt")), QByteArray("u\np"));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
              5); // auth.txt, settings.zip, openvpn, Cellar, opt
}

TEST_F(UnpackTest, EntriesLeavingTheFolder_RefuseTheWholeArchive) {
    const QList<QList<Entry>> hostile = {
        {kLauncher, {"../evil", "x"}},
        {kLauncher, {"Cellar/../../evil", "x"}},
        {kLauncher, {"/tmp/orvel-abs-evil", "x"}},
        {kLauncher, {"link", "/etc", S_IFLNK | 0777}},
        {kLauncher, {"fifo", "", S_IFIFO | 0644}},
        // The program the tunnel would run must be a file.
        {{"openvpn/", {}, S_IFDIR | 0755}, {"openvpn/x", "x"}},
    };
    for (const QList<Entry>& entries : hostile) {
        SCOPED_TRACE(entries.last().name.constData());
        expectRefusedWithNothingWritten(entries);
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/orvel-abs-evil")));
}

TEST_F(UnpackTest, ArchivesOverTheLimits_AreRefused) {
    expectRefusedWithNothingWritten({kLauncher, {"a", "1"}, {"b", "2"}}, {1000, 2});
    expectRefusedWithNothingWritten({kLauncher, {"big", QByteArray(200, 'x')}}, {100, 10});
    expectRefusedWithNothingWritten({{"a", QByteArray(60, 'x')}, {"b", QByteArray(60, 'y')}},
                                    {100, 10});
}

TEST_F(UnpackTest, DamagedEntry_IsRefusedWithNothingWritten) {
    writeArchive(archive, {kLauncher, {"opt/data", "0123456789-payload-0123456789"}});
    QByteArray bytes = readFile(archive);
    const qsizetype at = bytes.indexOf("payload");
    ASSERT_GT(at, 0);
    bytes[at] = 'P';
    EXPECT_TRUE(writeFile(archive, bytes));
    const QStringList before = snapshot(tempPath());

    EXPECT_FALSE(unpack());
    EXPECT_EQ(snapshot(tempPath()), before);
}

TEST_F(UnpackTest, HtmlPage_IsNotAnArchive) {
    EXPECT_TRUE(writeFile(archive, "<html><body>500 Internal Server Error</body></html>"));
    EXPECT_FALSE(unpack());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("openvpn")));
}

// Archives as other tools write them: Python's zipfile stores permission bits without
// file-type bits (writestr), Windows tools DOS attributes only, Info-ZIP full modes.
QString writeWithTool(const QString& tool, const QString& folder) {
    const QString archive = folder + QStringLiteral("/") + tool + QStringLiteral(".zip");
    const QString source = folder + QStringLiteral("/tree-") + tool;
    EXPECT_TRUE(writeFile(source + QStringLiteral("/openvpn"), kLauncher.content));
    QFile::setPermissions(source + QStringLiteral("/openvpn"),
                          QFile::permissions(source + QStringLiteral("/openvpn")) |
                              QFileDevice::ExeOwner);
    EXPECT_TRUE(writeFile(source + QStringLiteral("/Cellar/orvel/README"), "cellar"));
    EXPECT_TRUE(writeFile(source + QStringLiteral("/opt/orvel/README"), "opt"));
    const QString python = QStringLiteral(R"(
import sys, zipfile
archive, style = sys.argv[1], sys.argv[2]
entries = [("openvpn", sys.argv[3], 0o755), ("Cellar/", "", 0o755),
           ("Cellar/orvel/README", "cellar", 0o644), ("opt/orvel/README", "opt", 0o644)]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
    for name, data, mode in entries:
        info = zipfile.ZipInfo(name)
        if style == "dos":
            info.create_system = 0
            info.external_attr = 0x10 if name.endswith("/") else 0x20
        else:
            info.create_system = 3
            info.external_attr = mode << 16
        z.writestr(info, data)
)");
    QProcess process;
    if (tool == QLatin1String("zip")) {
        process.setWorkingDirectory(source);
        process.start(QStringLiteral("zip"),
                      {QStringLiteral("-qr"), archive, QStringLiteral("openvpn"),
                       QStringLiteral("Cellar"), QStringLiteral("opt")});
    } else {
        process.start(QStringLiteral("python3"), {QStringLiteral("-c"), python, archive, tool,
                                                  QString::fromUtf8(kLauncher.content)});
    }
    const bool ran = process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
                     process.exitCode() == 0;
    EXPECT_TRUE(ran) << tool.toStdString() << ": " << process.readAllStandardError().toStdString();
    return archive;
}

TEST_F(UnpackTest, ArchivesOfCommonTools_Unpack) {
    for (const QString& tool :
         {QStringLiteral("python"), QStringLiteral("dos"), QStringLiteral("zip")}) {
        SCOPED_TRACE(tool.toStdString());
        archive = writeWithTool(tool, tempPath());
        ASSERT_TRUE(unpack()) << error.toStdString();
        EXPECT_EQ(readFile(folder + QStringLiteral("openvpn")), kLauncher.content);
        EXPECT_EQ(readFile(folder + QStringLiteral("Cellar/orvel/README")), QByteArray("cellar"));
        EXPECT_EQ(readFile(folder + QStringLiteral("opt/orvel/README")), QByteArray("opt"));
        if (tool != QLatin1String("dos")) {
            EXPECT_TRUE(QFileInfo(folder + QStringLiteral("openvpn")).isExecutable());
        }
    }
}

class StartupPackageTest : public OrvelTest {
protected:
    StartupPackageTest() : installer(options()) {
        clearHome();
        services().scriptRunner = &runner;
        runner.simulateAdministrator(QStringLiteral("admin"), QStringLiteral("pw"));
    }
    ~StartupPackageTest() override { clearHome(); }

    SettingsPackageInstaller::Options options() {
        SettingsPackageInstaller::Options result;
        result.adminMarkerPath = tempPath() + QStringLiteral("/usr-local/orvel_admin_check.txt");
        QDir().mkpath(QFileInfo(result.adminMarkerPath).path());
        return result;
    }

    static void clearHome() {
        QDir(homeDirectory() + QStringLiteral("/OrvelVPN")).removeRecursively();
        QDir(homeDirectory() + QStringLiteral("/OrvelPlusVPN")).removeRecursively();
    }

    std::string verify() {
        testing::internal::CaptureStdout();
        installer.verifyStoredAdmin();
        return testing::internal::GetCapturedStdout();
    }

    void storeCredentials(const QString& user, const QString& password) {
        preferences().setValue(QStringLiteral("username"), user);
        keepAdminPassword(password);
    }

    RecordingScriptRunner runner{passwordItems()};
    SettingsPackageInstaller installer;
};

TEST_F(StartupPackageTest, VerifyStoredAdmin_SetsThePathsAndARealTemplateFile) {
    EXPECT_EQ(verify(), "");
    EXPECT_EQ(appState().vpnHomeDir, homeDirectory() + QStringLiteral("/OrvelVPN/"));
    const QString templatePath = appState().credentialTemplatePath;
    EXPECT_EQ(QFileInfo(templatePath).fileName(), QStringLiteral("orvel_admin_check.txt"));
    EXPECT_EQ(readFile(templatePath), readFile(QStringLiteral(":/orvel_admin_check.txt")));
    EXPECT_TRUE(runner.statements.isEmpty());
    EXPECT_FALSE(appState().isAdminAuthorized);
}

TEST_F(StartupPackageTest, ValidStoredCredentials_FlipTheMarkerAtEveryStart) {
    storeCredentials(QStringLiteral("admin"), QStringLiteral("pw"));
    const QString marker = options().adminMarkerPath;

    EXPECT_EQ(verify(), "User Status: Admin\n");
    EXPECT_TRUE(QFileInfo::exists(marker));
    EXPECT_TRUE(appState().isAdminAuthorized);
    EXPECT_EQ(appState().adminUserName, QStringLiteral("admin"));
    EXPECT_EQ(runner.statements.value(0),
              QStringLiteral("do shell script \"sudo cp '") + appState().credentialTemplatePath +
                  QStringLiteral("' '") + marker +
                  QStringLiteral("'\" user name \"admin\" password \"pw\" with administrator "
                                 "privileges"));

    resetAppState();
    EXPECT_EQ(verify(), "User Status: Admin\n");
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_TRUE(appState().isAdminAuthorized);
    EXPECT_EQ(runner.statements.value(1),
              QStringLiteral("do shell script \"sudo rm -rf '") + marker +
                  QStringLiteral("'\" user name \"admin\" password \"pw\" with administrator "
                                 "privileges"));
}

TEST_F(StartupPackageTest, WrongOrIncompleteCredentials_ChangeNothing) {
    storeCredentials(QStringLiteral("admin"), QStringLiteral("wrong"));
    EXPECT_EQ(verify(), "");
    EXPECT_EQ(runner.statements.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(options().adminMarkerPath));
    EXPECT_FALSE(appState().isAdminAuthorized);
    EXPECT_EQ(appState().adminUserName, QString());

    items().removeEverything();
    verify();
    EXPECT_EQ(runner.statements.size(), 1);
}

TEST_F(StartupPackageTest, RemoveLegacyFolder_OnlyWhenItExists) {
    installer.removeLegacyFolder();
    EXPECT_TRUE(runner.statements.isEmpty());

    QDir().mkpath(homeDirectory() + QStringLiteral("/OrvelPlusVPN"));
    installer.removeLegacyFolder();
    EXPECT_EQ(runner.statements,
              QStringList{QStringLiteral("do shell script \"rm -rf '") + homeDirectory() +
                          QStringLiteral("/OrvelPlusVPN/'\"")});
}

TEST_F(StartupPackageTest, IsOpenVPNInstalled_WhenTheProgramIsInTheWorkingFolder) {
    verify();
    EXPECT_FALSE(installer.isOpenVPNInstalled());
    QDir().mkpath(appState().vpnHomeDir + QStringLiteral("openvpn"));
    EXPECT_FALSE(installer.isOpenVPNInstalled()) << "a folder is not the program";
    QDir(appState().vpnHomeDir + QStringLiteral("openvpn")).removeRecursively();
    EXPECT_TRUE(writeFile(appState().vpnHomeDir + QStringLiteral("openvpn"), "#!/bin/sh\n"));
    EXPECT_TRUE(installer.isOpenVPNInstalled());
}

// A package host on loopback that answers every request with one status and an HTML
// body, or closes the connection without a word when the status is 0.
class PackageHost {
public:
    explicit PackageHost(int status) {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, status] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, status] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                if (status != 0) {
                    const QByteArray body = "<html><body>no package here</body></html>";
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  " Whatever\r\nContent-Type: text/html\r\nContent-Length: " +
                                  QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
                }
                socket->disconnectFromHost();
            });
        });
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/users/client/api/app/mac/files/settings.zip")
            .arg(m_server.serverPort());
    }

private:
    QTcpServer m_server;
};

class PackageAnswerTest : public StartupPackageTest {
protected:
    // Runs the download against `host`; returns standard output.
    std::string download(const PackageHost& host) {
        SettingsPackageInstaller::Options options = this->options();
        options.packageUrl = host.url();
        SettingsPackageInstaller installer(options);
        bool failed = false;
        QObject::connect(&installer, &SettingsPackageInstaller::downloadFailed,
                         [&failed] { failed = true; });
        testing::internal::CaptureStdout();
        installer.verifyStoredAdmin();
        installer.downloadSettingsPackage([this] { continued = true; });
        waitUntil([&] { return continued || failed; });
        this->failed = failed;
        return testing::internal::GetCapturedStdout();
    }

    bool continued = false;
    bool failed = false;
};

TEST_F(PackageAnswerTest, AnyStatusWithABody_IsHandledLikeThePackageAndStartUpGoesOn) {
    for (const int status : {400, 401, 404, 407, 418}) {
        SCOPED_TRACE(status);
        continued = false;
        preferences().remove(QStringLiteral("set_vpn_conf"));
        const PackageHost host(status);
        const std::string out = download(host);
        EXPECT_TRUE(continued);
        EXPECT_FALSE(failed);
        EXPECT_NE(out.find("Executable setting file downloaded. Status code: " +
                           std::to_string(status) + "\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("Error creating a file "), std::string::npos) << out;
        EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
    }
}

TEST_F(PackageAnswerTest, NoAnswerAtAll_IsADownloadError) {
    const PackageHost silent(0);
    const std::string out = download(silent);
    EXPECT_TRUE(failed);
    EXPECT_FALSE(continued);
    EXPECT_NE(out.find("Error took place while downloading a file. Error description: "),
              std::string::npos)
        << out;
    EXPECT_FALSE(preferences().contains(QStringLiteral("set_vpn_conf")));
}

} // namespace
