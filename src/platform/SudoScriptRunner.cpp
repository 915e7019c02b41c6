#include "platform/SudoScriptRunner.h"

#include "platform/AppleScriptStatement.h"
#include "platform/StatementFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcScript, "orvel.script")

namespace {

const QString kShell = QStringLiteral("/bin/sh");
const QString kSudo = QStringLiteral("sudo");
const QString kInterpreterName = QStringLiteral("orvel-osascript");

// Waits as long as the command lives: the OpenVPN start blocks its worker on purpose.
int runToEnd(const QString& program, const QStringList& arguments, const QByteArray& input) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        qCWarning(lcScript) << "could not start" << program << process.errorString();
        return -1;
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

} // namespace

SudoScriptRunner::SudoScriptRunner(PasswordItems passwords, QString interpreterPath,
                                   const AdminAccounts& accounts)
    : m_passwords(std::move(passwords)), m_interpreter(std::move(interpreterPath)),
      m_accounts(accounts) {}

QString SudoScriptRunner::locateInterpreter() {
    const QStringList candidates = {
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + kInterpreterName,
        // Installed as a package: bin/orvelvpn next to lib/orvelvpn/orvel-osascript.
        QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/orvelvpn/") +
            kInterpreterName,
        QStringLiteral(ORVEL_INSTALL_LIBEXEC) + QLatin1Char('/') + kInterpreterName};
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return QStandardPaths::findExecutable(kInterpreterName);
}

// The client's own tools (the networksetup stand-in) sit in its libexec folder, never on
// the PATH. The statement already runs as root: its shell looks there first, and a "sudo"
// inside it runs the tool itself, where sudo's secure_path would not find it.
QString SudoScriptRunner::withOwnTools(const QString& command) {
    return QStringLiteral("PATH='" ORVEL_INSTALL_LIBEXEC "':\"$PATH\"; sudo() { \"$@\"; }; ") +
           command;
}

QStringList SudoScriptRunner::sudoArguments(const QString& command) {
    // -k: never ride on an earlier sudo session, -p "": no prompt text mixed into output.
    return {QStringLiteral("-S"),
            QStringLiteral("-k"),
            QStringLiteral("-p"),
            QString(),
            kShell,
            QStringLiteral("-c"),
            command};
}

void SudoScriptRunner::runAppleScript(const QString& source) {
    run(source);
}

void SudoScriptRunner::runScriptFile(const QString& path) {
    runScriptFiles({path});
}

void SudoScriptRunner::runScriptFiles(const QStringList& paths) {
    // The interpreter checks again as it reads; this leaves the reason in our own log.
    for (const QString& path : paths) {
        const auto checked = StatementFile::read(path);
        if (const auto* refusal = std::get_if<StatementFile::Refusal>(&checked)) {
            qCWarning(lcScript) << "statement file refused:" << refusal->reason;
            return;
        }
    }
    if (m_interpreter.isEmpty()) {
        qCWarning(lcScript) << kInterpreterName << "not found; not running" << paths;
        return;
    }
    if (!QProcess::startDetached(m_interpreter, paths))
        qCWarning(lcScript) << "could not start" << m_interpreter << "for" << paths;
}

bool SudoScriptRunner::run(const QString& source) {
    const auto parsed = AppleScriptStatement::parse(source);
    if (const auto* error = std::get_if<AppleScriptStatement::Error>(&parsed)) {
        qCWarning(lcScript) << "statement refused:" << error->message;
        return false;
    }
    const auto& statement = std::get<AppleScriptStatement>(parsed);
    if (statement.withAdministratorPrivileges)
        return runPrivileged(statement);
    const int status = runToEnd(kShell, {QStringLiteral("-c"), statement.command}, {});
    if (status != 0)
        qCInfo(lcScript) << "command ended with status" << status;
    return status == 0;
}

bool SudoScriptRunner::runPrivileged(const AppleScriptStatement& statement) {
    const QString& user = *statement.userName;
    const bool asRoot = ::geteuid() == 0;
    if (!asRoot && user != m_accounts.currentUserName()) {
        qCWarning(lcScript) << "refused: sudo can only act for the current user, not" << user;
        return false;
    }
    if (!m_accounts.isAdministrator(user)) {
        qCWarning(lcScript) << "refused:" << user << "is not an administrator";
        return false;
    }
    const std::optional<QString> password = m_passwords.passwordOf(statement);
    if (!password) {
        qCWarning(lcScript) << "refused: the keychain item" << *statement.passwordItem
                            << "cannot be read";
        return false;
    }
    if (!passwordAccepted(user, *password)) {
        qCWarning(lcScript) << "refused: wrong password for" << user;
        return false;
    }
    const QString command = withOwnTools(statement.command);
    const int status = asRoot ? runToEnd(kShell, {QStringLiteral("-c"), command}, {})
                              : runToEnd(kSudo, sudoArguments(command), password->toUtf8() + '\n');
    if (status != 0)
        qCInfo(lcScript) << "privileged command ended with status" << status;
    return status == 0;
}

bool SudoScriptRunner::passwordAccepted(const QString& user, const QString& password) {
    const QByteArray key = user.toUtf8() + '\0' +
                           QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256);
    {
        const std::lock_guard lock(m_acceptedLock);
        const auto accepted = m_accepted.constFind(key);
        if (accepted != m_accepted.cend() && !accepted->hasExpired(kAcceptedForMs))
            return true;
    }
    if (!m_accounts.checkPassword(user, password))
        return false;
    const std::lock_guard lock(m_acceptedLock);
    m_accepted[key].start();
    return true;
}
