#include "core/AppState.h"
#include "platform/FileItemStore.h"
#include "platform/SudoScriptRunner.h"
#include "support/TestEnvironment.h"
#include "tunnel/AdminCredentials.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/PrivilegedScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString kAdmin = QStringLiteral("orveladmin-test");
const QString kPlain = QStringLiteral("orvelplain-test");
const QString kPwned = QStringLiteral("/tmp/orvel-e2e-pwned");
// Everything a statement and chpasswd can carry that could break out of a string.
const QString kAdminPassword = QStringLiteral("pa\"ss\\w $(touch /tmp/orvel-e2e-pwned) `x` 'q'");
const QString kPlainPassword = QStringLiteral("plain-Pw-4711");

int run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

// Makes the user (or keeps it) with exactly this password and administrator or not.
bool prepareUser(const QString& user, const QString& password, bool administrator) {
    if (run(QStringLiteral("id"), {user}) != 0 &&
        run(QStringLiteral("useradd"), {QStringLiteral("-m"), user}) != 0)
        return false;
    if (administrator)
        run(QStringLiteral("usermod"), {QStringLiteral("-aG"), QStringLiteral("sudo"), user});
    else
        run(QStringLiteral("gpasswd"), {QStringLiteral("-d"), user, QStringLiteral("sudo")});
    return run(QStringLiteral("chpasswd"), {}, (user + QLatin1Char(':') + password).toUtf8()) == 0;
}

QString builtInterpreter() {
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/orvel-osascript");
    return QFileInfo(path).isExecutable() ? QFileInfo(path).canonicalFilePath() : QString();
}

} // namespace

class PrivilegedRunnerTest : public OrvelTest {
protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0) {
            s_skipReason = "needs root to create the test users";
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("useradd")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("sudo")).isEmpty()) {
            s_skipReason = "needs useradd and sudo";
            return;
        }
        // ctest runs cases in parallel processes; they share the two users.
        const int lock =
            ::open("/tmp/orvel-privileged-e2e.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
            s_skipReason = "could not take the test users' lock";
            return;
        }
        s_lock = lock;
        if (!prepareUser(kAdmin, kAdminPassword, true) ||
            !prepareUser(kPlain, kPlainPassword, false))
            s_skipReason = "could not create the test users";
    }

    // A sudo member with a known password must not outlive the suite.
    static void TearDownTestSuite() {
        if (s_lock < 0)
            return;
        for (const QString& user : {kAdmin, kPlain})
            run(QStringLiteral("userdel"), {QStringLiteral("-r"), QStringLiteral("-f"), user});
        ::close(s_lock);
        s_lock = -1;
    }

    void SetUp() override {
        if (!s_skipReason.isEmpty())
            GTEST_SKIP() << s_skipReason.toStdString();
        QFile::remove(kPwned);
        // Open to the test users: the sudo path runs as one of them.
        m_folder = tempPath() + QStringLiteral("/world open");
        ASSERT_TRUE(QDir().mkpath(m_folder));
        QFile::setPermissions(tempPath(), QFileDevice::Permissions(0x7755));
        QFile::setPermissions(m_folder, QFileDevice::Permissions(0x7777));
    }

    void TearDown() override { EXPECT_FALSE(QFile::exists(kPwned)); }

    QString marker() const { return m_folder + QStringLiteral("/uid"); }
    QString writeUid() const { return QStringLiteral("id -u > ") + shellQuoted(marker()); }

    // Runs and reports how long it took, for the record.
    bool timed(const char* what, const QString& source) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = m_runner.run(source);
        std::printf("timing: %s took %lld ms\n", what, static_cast<long long>(timer.elapsed()));
        return ok;
    }

    // Runs the statement from a file through orvel-osascript as `user`: the sudo -S path.
    // The user writes the file in a folder of their own, as the client does.
    int runAs(const QString& user, const QString& source) {
        const QString folder = tempPath() + QStringLiteral("/statements-") + user;
        const QString script = folder + QStringLiteral("/statement.scpt");
        if (run(QStringLiteral("install"),
                {QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("700"),
                 QStringLiteral("-o"), user, folder}) != 0 ||
            run(QStringLiteral("runuser"),
                {QStringLiteral("-u"), user, QStringLiteral("--"), QStringLiteral("/bin/sh"),
                 QStringLiteral("-c"), QStringLiteral("umask 077 && cat > \"$1\""),
                 QStringLiteral("sh"), script},
                source.toUtf8()) != 0)
            return -1;
        return run(QStringLiteral("runuser"),
                   {QStringLiteral("-u"), user, QStringLiteral("--"), m_interpreter, script});
    }

    bool userCanRunInterpreter() {
        return !m_interpreter.isEmpty() &&
               run(QStringLiteral("runuser"),
                   {QStringLiteral("-u"), kAdmin, QStringLiteral("--"), QStringLiteral("test"),
                    QStringLiteral("-x"), m_interpreter}) == 0;
    }

    static inline QString s_skipReason;
    static inline int s_lock = -1;
    QString m_folder;
    QString m_interpreter = builtInterpreter();
    SudoScriptRunner m_runner{PasswordItems(), m_interpreter};
};

TEST_F(PrivilegedRunnerTest, AsRoot_AdministratorWithRightPasswordRunsAsRoot) {
    EXPECT_TRUE(timed("privileged statement, right password (PAM)",
                      makePrivilegedScript(writeUid(), kAdmin, kAdminPassword)));
    EXPECT_EQ(readFile(marker()), "0\n");
}

TEST_F(PrivilegedRunnerTest, AsRoot_WrongPasswordNonAdministratorOrEmptyPasswordRunNothing) {
    EXPECT_FALSE(timed("privileged statement, wrong password (PAM)",
                       makePrivilegedScript(writeUid(), kAdmin, QStringLiteral("wrong"))));
    EXPECT_FALSE(m_runner.run(makePrivilegedScript(writeUid(), kAdmin, kAdminPassword + 'x')));
    EXPECT_FALSE(m_runner.run(makePrivilegedScript(writeUid(), kAdmin, QString())));
    EXPECT_FALSE(m_runner.run(makePrivilegedScript(writeUid(), kPlain, kPlainPassword)));
    EXPECT_FALSE(
        m_runner.run(makePrivilegedScript(writeUid(), QStringLiteral("root"), kAdminPassword)));
    EXPECT_FALSE(QFile::exists(marker()));
}

TEST_F(PrivilegedRunnerTest, PasswordItem_IsReadWhenTheStatementRunsInProcessAndFromAFile) {
    // The file store of this home: where orvel-osascript looks when no keyring answers.
    FileItemStore files;
    KeychainWrapper keychain(files, QString::fromLatin1(KeychainWrapper::kDefaultServiceName));
    SudoScriptRunner runner(
        PasswordItems(files, QString::fromLatin1(KeychainWrapper::kDefaultServiceName)),
        m_interpreter);
    const QString statement = makeItemPrivilegedScript(writeUid(), kAdmin, kAdminPasswordItem);
    EXPECT_FALSE(runner.run(statement)) << "ran without the item";
    keychain.writeString(QStringLiteral("wrong"), kAdminPasswordItem);
    EXPECT_FALSE(runner.run(statement));
    EXPECT_FALSE(QFile::exists(marker()));

    keychain.writeString(kAdminPassword, kAdminPasswordItem);
    EXPECT_TRUE(runner.run(statement));
    EXPECT_EQ(readFile(marker()), "0\n");
    if (m_interpreter.isEmpty())
        return;
    QFile::remove(marker());
    // Not in the open folder: the interpreter runs no statement from a folder others write.
    const QString script = tempPath() + QStringLiteral("/item.scpt");
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(statement.toUtf8());
    file.close();
    EXPECT_EQ(run(m_interpreter, {script}), 0);
    EXPECT_EQ(readFile(marker()), "0\n");
}

TEST_F(PrivilegedRunnerTest, AsAdministrator_SudoPathRunsAsRootOnlyWithTheRightPassword) {
    if (!userCanRunInterpreter())
        GTEST_SKIP() << "the test user cannot execute orvel-osascript in this build folder";
    EXPECT_EQ(runAs(kAdmin, makePrivilegedScript(writeUid(), kAdmin, QStringLiteral("wrong"))), 1);
    EXPECT_FALSE(QFile::exists(marker()));
    EXPECT_EQ(runAs(kAdmin, makePrivilegedScript(writeUid(), kPlain, kPlainPassword)), 1);
    EXPECT_FALSE(QFile::exists(marker()));
    EXPECT_EQ(runAs(kPlain, makePrivilegedScript(writeUid(), kPlain, kPlainPassword)), 1);
    EXPECT_FALSE(QFile::exists(marker()));
    EXPECT_EQ(runAs(kAdmin, makeShellScript(writeUid())), 0);
    EXPECT_NE(readFile(marker()), "0\n");
    QFile::remove(marker());
    EXPECT_EQ(runAs(kAdmin, makePrivilegedScript(writeUid(), kAdmin, kAdminPassword)), 0);
    EXPECT_EQ(readFile(marker()), "0\n");
}

TEST_F(PrivilegedRunnerTest, CredentialCheck_FlipsTheMarkerOnlyForTheRightPassword) {
    appState().credentialTemplatePath = m_folder + QStringLiteral("/orvel_admin_check.txt");
    QFile templateFile(appState().credentialTemplatePath);
    ASSERT_TRUE(templateFile.open(QIODevice::WriteOnly));
    templateFile.write("marker");
    templateFile.close();
    const QString markerPath = m_folder + QStringLiteral("/local/orvel_admin_check.txt");
    QDir().mkpath(m_folder + QStringLiteral("/local"));
    const AdminCredentials credentials(m_runner, markerPath);
    const auto timedCheck = [&](const char* what, const QString& password) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = credentials.check(kAdmin, password);
        std::printf("timing: credential check, %s took %lld ms\n", what,
                    static_cast<long long>(timer.elapsed()));
        return ok;
    };
    EXPECT_FALSE(timedCheck("wrong password", QStringLiteral("wrong")));
    EXPECT_FALSE(QFile::exists(markerPath));
    EXPECT_TRUE(timedCheck("right password, marker created", kAdminPassword));
    EXPECT_EQ(readFile(markerPath), "marker");
    EXPECT_FALSE(timedCheck("wrong password, marker present", QStringLiteral("wrong")));
    EXPECT_TRUE(QFile::exists(markerPath));
    EXPECT_TRUE(timedCheck("right password, marker removed", kAdminPassword));
    EXPECT_FALSE(QFile::exists(markerPath));
}
