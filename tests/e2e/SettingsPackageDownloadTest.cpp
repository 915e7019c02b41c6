#include "SettingsPackage.h"
#include "TestService.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "platform/SudoScriptRunner.h"
#include "startup/SettingsPackage.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

const QString kPackagePath = QStringLiteral("/users/client/api/app/mac/files/settings.zip");

// The first start against the service stand-in: the package comes over plain HTTP
// from its package listener.
class SettingsPackageDownloadTest : public OrvelTest {
protected:
    SettingsPackageDownloadTest() {
        QDir(homeDirectory() + QStringLiteral("/OrvelVPN")).removeRecursively();
        TestService::Options options;
        options.stateDir = tempPath() + QStringLiteral("/service");
        options.hostCount = 1;
        started = service.start(options);
        services().scriptRunner = &runner;
    }
    ~SettingsPackageDownloadTest() override {
        QDir(homeDirectory() + QStringLiteral("/OrvelVPN")).removeRecursively();
    }

    SettingsPackageInstaller::Options packageOptions() {
        SettingsPackageInstaller::Options options;
        options.packageUrl = service.packageUrl();
        options.adminMarkerPath = tempPath() + QStringLiteral("/orvel_admin_check.txt");
        return options;
    }

    // Runs the start-up path of the package; returns standard output.
    QString firstStart(SettingsPackageInstaller::Options options) {
        SettingsPackageInstaller installer(std::move(options));
        testing::internal::CaptureStdout();
        installer.verifyStoredAdmin();
        installer.downloadSettingsPackage([this] { continued = true; });
        waitUntil([&] { return continued || installer.findChildren<QTemporaryFile*>().isEmpty(); });
        waitUntil([&] { return continued; }, 200);
        return QString::fromStdString(testing::internal::GetCapturedStdout());
    }

    QString home() const { return appState().vpnHomeDir; }

    TestService service;
    bool started = false;
    bool continued = false;
    SudoScriptRunner runner;
};

TEST_F(SettingsPackageDownloadTest, FirstStart_MakesTheFolderUnpacksAndContinues) {
    ASSERT_TRUE(started) << service.errorString().toStdString();
    const QString out = firstStart(packageOptions());

    EXPECT_TRUE(continued);
    EXPECT_TRUE(
        out.contains(QStringLiteral("Executable setting file downloaded. Status code: 200\n")))
        << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("Error")));
    EXPECT_EQ(readFile(home() + QStringLiteral("openvpn")), SettingsPackage::launcherScript());
    EXPECT_TRUE(QFileInfo(home() + QStringLiteral("openvpn")).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(home() + QStringLiteral("Cellar/orvel/README")));
    EXPECT_TRUE(QFileInfo::exists(home() + QStringLiteral("opt/orvel/README")));
    EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
    EXPECT_EQ(service.requests(kPackagePath).size(), 1);
    EXPECT_TRUE(service.requests(kPackagePath).value(0).cookies.isEmpty());
}

TEST_F(SettingsPackageDownloadTest, HtmlErrorPage_IsLoggedNotUnpackedAndTheInstallStillRuns) {
    ASSERT_TRUE(started) << service.errorString().toStdString();
    service.setFault(kPackagePath, Fault{Fault::Kind::Html, 0, {}, -1});
    const QString out = firstStart(packageOptions());

    EXPECT_TRUE(continued);
    EXPECT_TRUE(
        out.contains(QStringLiteral("Executable setting file downloaded. Status code: 500\n")));
    EXPECT_TRUE(out.contains(QStringLiteral("Error creating a file ") + home() +
                             QStringLiteral("settings.zip : ")))
        << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("openvpn")));
    EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
    // The refused page does not block the download at the next start.
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("settings.zip")));
}

TEST_F(SettingsPackageDownloadTest, SettingsZipAlreadyThere_CopyFailsNothingUnpackedInstallRuns) {
    ASSERT_TRUE(started) << service.errorString().toStdString();
    const QString zip = homeDirectory() + QStringLiteral("/OrvelVPN/settings.zip");
    QDir().mkpath(QFileInfo(zip).path());
    QFile old(zip);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    const QString out = firstStart(packageOptions());

    EXPECT_TRUE(continued);
    EXPECT_TRUE(
        out.contains(QStringLiteral("Error creating a file ") + zip + QStringLiteral(" : ")));
    EXPECT_EQ(readFile(zip), QByteArray("old"));
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("openvpn")));
    EXPECT_EQ(preferences().integer(QStringLiteral("set_vpn_conf")), 1);
}

TEST_F(SettingsPackageDownloadTest, DownloadError_IsLoggedAndNothingFollows) {
    ASSERT_TRUE(started) << service.errorString().toStdString();
    SettingsPackageInstaller::Options options = packageOptions();
    service.stop();
    const QString out = firstStart(options);

    EXPECT_FALSE(continued);
    EXPECT_TRUE(out.contains(
        QStringLiteral("Error took place while downloading a file. Error description: ")))
        << out.toStdString();
    EXPECT_FALSE(preferences().contains(QStringLiteral("set_vpn_conf")));
}

TEST_F(SettingsPackageDownloadTest, ChecksumMismatch_RefusesThePackage) {
    ASSERT_TRUE(started) << service.errorString().toStdString();
    SettingsPackageInstaller::Options options = packageOptions();
    options.packageSha256 = QString(64, QLatin1Char('0'));
    const QString out = firstStart(options);

    EXPECT_TRUE(continued);
    EXPECT_TRUE(out.contains(QStringLiteral("SHA-256")));
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("openvpn")));
}

TEST_F(SettingsPackageDownloadTest, OversizedDownload_IsRefusedWhileItArrives) {
    ASSERT_TRUE(started) << service.errorString().toStdString();
    SettingsPackageInstaller::Options options = packageOptions();
    options.maxDownloadBytes = 16;
    const QString out = firstStart(options);

    EXPECT_FALSE(continued);
    EXPECT_TRUE(out.contains(QStringLiteral("larger than allowed"))) << out.toStdString();
}

} // namespace
