#include "tunnel/AdminCredentials.h"

#include "core/AppState.h"
#include "core/Services.h"
#include "platform/AppleScriptStatement.h"
#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"

#include <QFile>

class AdminCredentialsTest : public OrvelTest {
protected:
    void SetUp() override {
        m_template = tempPath() + QStringLiteral("/template dir/orvel_admin_check.txt");
        QDir().mkpath(QFileInfo(m_template).absolutePath());
        QFile file(m_template);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("marker");
        appState().credentialTemplatePath = m_template;
        m_runner.simulateAdministrator(QStringLiteral("admin"), QStringLiteral("p\"w $(x)"));
    }
    QString marker() const { return tempPath() + QStringLiteral("/local/orvel_admin_check.txt"); }

    QString m_template;
    RecordingScriptRunner m_runner;
};

TEST_F(AdminCredentialsTest, RightCredentials_FlipTheMarkerBothWays) {
    QDir().mkpath(tempPath() + QStringLiteral("/local"));
    AdminCredentials credentials(m_runner, marker());
    EXPECT_TRUE(credentials.check(QStringLiteral("admin"), QStringLiteral("p\"w $(x)")));
    QFile copy(marker());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "marker");
    EXPECT_TRUE(credentials.check(QStringLiteral("admin"), QStringLiteral("p\"w $(x)")));
    EXPECT_FALSE(QFile::exists(marker()));
    const auto parsed = AppleScriptStatement::parse(m_runner.statements.first());
    const auto& statement = std::get<AppleScriptStatement>(parsed);
    EXPECT_EQ(statement.userName, QStringLiteral("admin"));
    EXPECT_EQ(statement.password, QStringLiteral("p\"w $(x)"));
    EXPECT_TRUE(statement.command.startsWith(QStringLiteral("sudo cp ")));
    EXPECT_TRUE(m_runner.ranCommands.last().startsWith(QStringLiteral("sudo rm -rf ")));
}

TEST_F(AdminCredentialsTest, WrongCredentials_LeaveTheMarkerAsItWas) {
    QDir().mkpath(tempPath() + QStringLiteral("/local"));
    AdminCredentials credentials(m_runner, marker());
    EXPECT_FALSE(credentials.check(QStringLiteral("admin"), QStringLiteral("wrong")));
    EXPECT_FALSE(QFile::exists(marker()));
    QFile(marker()).open(QIODevice::WriteOnly);
    EXPECT_FALSE(credentials.check(QStringLiteral("other"), QStringLiteral("p\"w $(x)")));
    EXPECT_TRUE(QFile::exists(marker()));
    EXPECT_TRUE(m_runner.ranCommands.isEmpty());
    EXPECT_EQ(m_runner.statements.size(), 2);
}

TEST_F(AdminCredentialsTest, WiredCheck_UsesTheRealMarkerPathAndNeedsARunner) {
    EXPECT_FALSE(checkAdminCredentials(QStringLiteral("admin"), QStringLiteral("p\"w $(x)")));
    RecordingScriptRunner recorder;
    services().scriptRunner = &recorder;
    checkAdminCredentials(QStringLiteral("admin"), QStringLiteral("pw"));
    ASSERT_EQ(recorder.statements.size(), 1);
    EXPECT_TRUE(
        recorder.statements.first().contains(QStringLiteral("/usr/local/orvel_admin_check.txt")));
}
