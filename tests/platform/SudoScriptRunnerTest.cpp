#include "platform/SudoScriptRunner.h"

#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/PrivilegedScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The build puts the interpreter next to the client, two levels above a test binary.
QString builtInterpreter() {
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/orvel-osascript");
    return QFileInfo(path).isExecutable() ? QFileInfo(path).canonicalFilePath() : QString();
}

// One administrator, "alice" with password "right", who is also the user running this.
class ModelledAccounts final : public AdminAccounts {
public:
    bool isAdministrator(const QString& user) const override {
        return user == QLatin1String("alice");
    }
    bool checkPassword(const QString& user, const QString& password) const override {
        ++checks;
        return user == QLatin1String("alice") && password == QLatin1String("right");
    }
    QString currentUserName() const override { return QStringLiteral("alice"); }

    mutable int checks = 0;
};

} // namespace

class SudoScriptRunnerTest : public OrvelTest {
protected:
    // printf of one value into out.txt: what runs must be exactly the value.
    QString printStatement(const QString& value) const {
        return makeShellScript(QStringLiteral("printf '%s' ") + shellQuoted(value) +
                               QStringLiteral(" > ") + shellQuoted(output()));
    }
    QString output() const { return m_folder + QStringLiteral("/out.txt"); }
    QString pwned() const { return m_folder + QStringLiteral("/pwned"); }

    void SetUp() override {
        m_folder = tempPath() + QStringLiteral("/a home");
        ASSERT_TRUE(QDir().mkpath(m_folder));
    }

    QString m_folder;
    SudoScriptRunner m_runner{PasswordItems(), builtInterpreter()};
};

TEST_F(SudoScriptRunnerTest, PlainStatement_RunsExactlyTheHostileValuesAndNothingElse) {
    const QStringList values = {QStringLiteral("quote \" end"),
                                QStringLiteral("back\\slash\\"),
                                QStringLiteral("$(touch ") + pwned() + QLatin1Char(')'),
                                QStringLiteral("`touch ") + pwned() + QLatin1Char('`'),
                                QStringLiteral("line\nbreak"),
                                QStringLiteral("it's; touch x"),
                                m_folder};
    for (const QString& value : values) {
        QFile::remove(output());
        EXPECT_TRUE(m_runner.run(printStatement(value)));
        EXPECT_EQ(QString::fromUtf8(readFile(output())), value);
    }
    EXPECT_FALSE(QFile::exists(pwned()));
}

TEST_F(SudoScriptRunnerTest, RefusedStatements_RunNothingAndReportFalse) {
    const QString touch = QStringLiteral("touch ") + shellQuoted(pwned());
    const QStringList sources = {
        touch,
        QStringLiteral("do shell script \"") + touch,
        QStringLiteral("do shell script \"true\"; ") + touch,
        QStringLiteral("do shell script \"") + touch +
            QStringLiteral("\" user name \"root\" with administrator privileges"),
    };
    for (const QString& source : sources) {
        EXPECT_FALSE(m_runner.run(source)) << source.toStdString();
        m_runner.runAppleScript(source);
    }
    EXPECT_FALSE(QFile::exists(pwned()));
    EXPECT_FALSE(m_runner.run(makeShellScript(QStringLiteral("exit 3"))));
}

TEST_F(SudoScriptRunnerTest, PrivilegedStatement_WithUnknownUserOrEmptyPasswordDoesNotRun) {
    const QString touch = QStringLiteral("touch ") + shellQuoted(pwned());
    EXPECT_FALSE(m_runner.run(
        makePrivilegedScript(touch, QStringLiteral("no-such-user-orvel"), QStringLiteral("pw"))));
    EXPECT_FALSE(m_runner.run(makePrivilegedScript(touch, QStringLiteral("root"), QString())));
    EXPECT_FALSE(m_runner.run(makePrivilegedScript(touch, QString(), QString())));
    EXPECT_FALSE(QFile::exists(pwned()));
}

TEST_F(SudoScriptRunnerTest, Administrator_RunsOnlyWithTheRightPassword) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the right password only runs the command directly as root";
    const ModelledAccounts accounts;
    SudoScriptRunner runner(PasswordItems(), builtInterpreter(), accounts);
    const QString touch = QStringLiteral("touch ") + shellQuoted(pwned());
    EXPECT_FALSE(
        runner.run(makePrivilegedScript(touch, QStringLiteral("alice"), QStringLiteral("wrong"))));
    EXPECT_FALSE(QFile::exists(pwned()));
    EXPECT_TRUE(
        runner.run(makePrivilegedScript(touch, QStringLiteral("alice"), QStringLiteral("right"))));
    EXPECT_TRUE(QFile::exists(pwned()));
}

// networksetup is looked up first among the client's own tools, also through the sudo
// inside a statement, which sudo's secure_path would have sent elsewhere.
TEST_F(SudoScriptRunnerTest, Administrator_FindsTheClientsOwnToolsFirst) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the right password only runs the command directly as root";
    const ModelledAccounts accounts;
    SudoScriptRunner runner(PasswordItems(), builtInterpreter(), accounts);
    const QString printPath =
        QStringLiteral("sudo sh -c 'printf %s \"$PATH\"' > ") + shellQuoted(output());
    ASSERT_TRUE(runner.run(
        makePrivilegedScript(printPath, QStringLiteral("alice"), QStringLiteral("right"))));
    EXPECT_EQ(QString::fromUtf8(readFile(output())).section(QLatin1Char(':'), 0, 0),
              QStringLiteral(ORVEL_INSTALL_LIBEXEC));
}

// The slow check runs once for a run of statements; a password that differs in one
// character after the right one is checked, and refused, all the same.
TEST_F(SudoScriptRunnerTest, AcceptedPassword_IsNotCheckedAgainButAnotherOneIs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the right password only runs the command directly as root";
    const ModelledAccounts accounts;
    SudoScriptRunner runner(PasswordItems(), builtInterpreter(), accounts);
    const QString touch = QStringLiteral("touch ") + shellQuoted(pwned());
    const QString right = makePrivilegedScript(QStringLiteral("true"), QStringLiteral("alice"),
                                               QStringLiteral("right"));
    EXPECT_TRUE(runner.run(right));
    EXPECT_TRUE(runner.run(right));
    EXPECT_EQ(accounts.checks, 1);
    EXPECT_FALSE(
        runner.run(makePrivilegedScript(touch, QStringLiteral("alice"), QStringLiteral("righT"))));
    EXPECT_FALSE(QFile::exists(pwned()));
    EXPECT_EQ(accounts.checks, 2);
}

TEST_F(SudoScriptRunnerTest, SudoArguments_PasswordOnStdinNoCacheNoPromptCommandIsOneWord) {
    const QString command = QStringLiteral("cp '/a b' /usr/local; echo \"$(id -u)\"");
    EXPECT_EQ(SudoScriptRunner::sudoArguments(command),
              (QStringList{QStringLiteral("-S"), QStringLiteral("-k"), QStringLiteral("-p"),
                           QString(), QStringLiteral("/bin/sh"), QStringLiteral("-c"), command}));
}

TEST_F(SudoScriptRunnerTest, Interpreter_ExitStatusAndDetachedScriptFile) {
    const QString interpreter = builtInterpreter();
    if (interpreter.isEmpty())
        GTEST_SKIP() << "orvel-osascript is not built next to the client";
    const QString script = m_folder + QStringLiteral("/run.scpt");
    const QString value = QStringLiteral("from \"file\" \\ ") + m_folder;
    EXPECT_TRUE(writeFile(script, printStatement(value).toUtf8() + '\n'));
    EXPECT_EQ(QProcess::execute(interpreter, {script}), 0);
    EXPECT_EQ(QString::fromUtf8(readFile(output())), value);

    EXPECT_TRUE(writeFile(script, "do shell script \"touch " + pwned().toUtf8() + "\" & \"x\""));
    EXPECT_EQ(QProcess::execute(interpreter, {script}), 1);
    EXPECT_TRUE(writeFile(script, QByteArray("do shell script \"true\xff\"")));
    EXPECT_EQ(QProcess::execute(interpreter, {script}), 1);
    EXPECT_EQ(QProcess::execute(interpreter, {m_folder + QStringLiteral("/missing.scpt")}), 1);
    EXPECT_EQ(QProcess::execute(interpreter, {}), 1);
    EXPECT_FALSE(QFile::exists(pwned()));

    QFile::remove(output());
    EXPECT_TRUE(writeFile(script, printStatement(QStringLiteral("detached")).toUtf8()));
    m_runner.runScriptFile(script);
    EXPECT_TRUE(waitUntil([&] { return readFile(output()) == "detached"; }, 5000));

    // Several files in one interpreter, in their order; one that fails stops none after it.
    const QString second = m_folder + QStringLiteral("/second.scpt");
    EXPECT_TRUE(writeFile(script, makeShellScript(QStringLiteral("printf 1 >> ") +
                                                  shellQuoted(output()) + QStringLiteral("; false"))
                                      .toUtf8()));
    EXPECT_TRUE(writeFile(
        second, makeShellScript(QStringLiteral("printf 2 >> ") + shellQuoted(output())).toUtf8()));
    QFile::remove(output());
    EXPECT_EQ(QProcess::execute(interpreter, {script, second}), 1);
    EXPECT_EQ(readFile(output()), "12");
}

TEST_F(SudoScriptRunnerTest, Recording_RunsOnlyStatementsWithTheSimulatedCredentials) {
    RecordingScriptRunner recording;
    const QString copy = QStringLiteral("sudo cp ") + shellQuoted(m_folder + QStringLiteral("/t")) +
                         QLatin1Char(' ') + shellQuoted(output());
    EXPECT_TRUE(writeFile(m_folder + QStringLiteral("/t"), "marker"));
    recording.runAppleScript(
        makePrivilegedScript(copy, QStringLiteral("admin"), QStringLiteral("pw")));
    EXPECT_FALSE(QFile::exists(output()));
    recording.simulateAdministrator(QStringLiteral("admin"), QStringLiteral("pw"));
    recording.runAppleScript(
        makePrivilegedScript(copy, QStringLiteral("admin"), QStringLiteral("no")));
    recording.runAppleScript(makeShellScript(copy));
    EXPECT_FALSE(QFile::exists(output()));
    recording.runAppleScript(
        makePrivilegedScript(copy, QStringLiteral("admin"), QStringLiteral("pw")));
    EXPECT_EQ(readFile(output()), "marker");
    EXPECT_EQ(recording.statements.size(), 4);
    EXPECT_EQ(recording.ranCommands, QStringList{copy});
    RecordingScriptRunner reading(passwordItems());
    reading.simulateAdministrator(QStringLiteral("admin"), QStringLiteral("pw"));
    const QString named = makeItemPrivilegedScript(QStringLiteral("true"), QStringLiteral("admin"),
                                                   kAdminPasswordItem);
    reading.runAppleScript(named);
    keepAdminPassword(QStringLiteral("pw"));
    reading.runAppleScript(named);
    EXPECT_EQ(reading.ranCommands, QStringList{QStringLiteral("true")});
    recording.runScriptFile(QStringLiteral("/x/disconnect.scpt"));
    EXPECT_EQ(recording.scriptFiles, QStringList{QStringLiteral("/x/disconnect.scpt")});
}

// The real interpreter on a statement file that differs from a private file of this user,
// in a private folder, in one respect each.
struct StatementFileCase {
    const char* name;
    void (*change)(const QString& file, const QString& folder);
    bool runs;
    bool needsRoot = false;
};

class StatementFileCheck : public SudoScriptRunnerTest,
                           public ::testing::WithParamInterface<StatementFileCase> {};

TEST_P(StatementFileCheck, OnlyAPrivateFileOfThisUserInAPrivateFolderRuns) {
    const QString interpreter = builtInterpreter();
    if (interpreter.isEmpty())
        GTEST_SKIP() << "orvel-osascript is not built next to the client";
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
    const QString folder = tempPath() + QStringLiteral("/statements");
    const QString file = folder + QStringLiteral("/run.scpt");
    ASSERT_TRUE(writeFile(file, printStatement(QStringLiteral("ran")).toUtf8()));
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::Permissions(0x7700)));
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::Permissions(0x6600)));
    GetParam().change(file, folder);
    EXPECT_EQ(QProcess::execute(interpreter, {file}), GetParam().runs ? 0 : 1);
    EXPECT_EQ(readFile(output()) == "ran", GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StatementFileCheck,
    ::testing::Values(
        StatementFileCase{"PrivateFile", [](const QString&, const QString&) {}, true},
        StatementFileCase{"GroupCanWriteTheFile",
                          [](const QString& file, const QString&) {
                              QFile::setPermissions(file, QFileDevice::Permissions(0x6620));
                          },
                          false},
        StatementFileCase{"OthersCanWriteTheFile",
                          [](const QString& file, const QString&) {
                              QFile::setPermissions(file, QFileDevice::Permissions(0x6602));
                          },
                          false},
        StatementFileCase{"FileOfAnotherUser",
                          [](const QString& file, const QString&) {
                              ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534),
                                        0);
                          },
                          false, true},
        StatementFileCase{"OthersCanWriteTheFolder",
                          [](const QString&, const QString& folder) {
                              QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
                          },
                          false},
        StatementFileCase{"LinkToAPrivateFile",
                          [](const QString& file, const QString& folder) {
                              QFile::rename(file, folder + QStringLiteral("/real.scpt"));
                              QFile::link(folder + QStringLiteral("/real.scpt"), file);
                          },
                          false},
        StatementFileCase{"Fifo",
                          [](const QString& file, const QString&) {
                              QFile::remove(file);
                              ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
                          },
                          false}),
    [](const auto& info) { return std::string(info.param.name); });
