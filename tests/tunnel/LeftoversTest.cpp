#include "tunnel/Leftovers.h"

#include "core/AppState.h"
#include "core/Services.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"
#include "tunnel/DnsOverride.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/OpenVPNCommands.h"
#include "tunnel/PrivilegedScript.h"
#include "tunnel/WorkingFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class LeftoversTest : public OrvelTest {
protected:
    LeftoversTest() {
        home = tempPath() + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../src");
        if (!qEnvironmentVariable("PATH").startsWith(built))
            qputenv("PATH", (built + QLatin1Char(':') + qEnvironmentVariable("PATH")).toUtf8());
    }
    QString home;
    RecordingScriptRunner runner;
};

// A run killed while connected left its OpenVPN and its DNS override: the next start
// clears both, as the stored administrator, before anything else.
TEST_F(LeftoversTest, RunThatDidNotTearDown_IsClearedOnceAtTheNextStart) {
    appState().vpnHomeDir = home;
    TeardownMarker::markPending();
    resetAppState();
    preferences().setValue(QStringLiteral("username"), QStringLiteral("admin"));

    EXPECT_TRUE(Leftovers::clearAfterCrash(home, runner, preferences()));
    ASSERT_FALSE(OpenVPNCommands::stopCommand(home).isEmpty());
    QStringList expected = {makeItemPrivilegedScript(OpenVPNCommands::stopCommand(home),
                                                     QStringLiteral("admin"), kAdminPasswordItem)};
    expected << dnsResetStatements(QStringLiteral("admin"));
    EXPECT_EQ(runner.statements, expected);

    runner.statements.clear();
    EXPECT_FALSE(Leftovers::clearAfterCrash(home, runner, preferences()));
    EXPECT_TRUE(runner.statements.isEmpty());
}

// IKEv2 launches no OpenVPN to leave the marker: the DNS override must leave it itself.
TEST_F(LeftoversTest, RunKilledAfterTheDnsOverrideOnIKEv2_HasItsDnsRestoredAtTheNextStart) {
    appState().vpnHomeDir = home;
    appState().adminUserName = QStringLiteral("admin");
    services().scriptRunner = &runner;
    applyDNSOverride();
    resetAppState();
    preferences().setValue(QStringLiteral("username"), QStringLiteral("admin"));

    RecordingScriptRunner nextStart;
    EXPECT_TRUE(Leftovers::clearAfterCrash(home, nextStart, preferences()));
    for (const QString& reset : dnsResetStatements(QStringLiteral("admin")))
        EXPECT_TRUE(nextStart.statements.contains(reset)) << reset.toStdString();
}

TEST_F(LeftoversTest, MarkerInAMissingWorkingFolder_MakesTheFolderOwnerOnly) {
    const QString fresh = tempPath() + QStringLiteral("/fresh/OrvelVPN/");
    appState().vpnHomeDir = fresh;
    TeardownMarker::markPending();
    EXPECT_TRUE(QFile::exists(TeardownMarker::pathIn(fresh)));
    EXPECT_EQ(QFileInfo(fresh).permissions() & 0x0077, 0);
}

TEST_F(LeftoversTest, CleanQuit_LeavesNothingToClear) {
    appState().vpnHomeDir = home;
    TeardownMarker::markPending();
    TeardownMarker::clear();
    EXPECT_FALSE(Leftovers::clearAfterCrash(home, runner, preferences()));
    EXPECT_TRUE(runner.statements.isEmpty());
}

} // namespace
