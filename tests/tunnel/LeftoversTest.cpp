#include "tunnel/Leftovers.h"

#include "core/AppState.h"
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

TEST_F(LeftoversTest, CleanQuit_LeavesNothingToClear) {
    appState().vpnHomeDir = home;
    TeardownMarker::markPending();
    TeardownMarker::clear();
    EXPECT_FALSE(Leftovers::clearAfterCrash(home, runner, preferences()));
    EXPECT_TRUE(runner.statements.isEmpty());
}

} // namespace
