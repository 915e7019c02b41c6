#include "support/RecordingScriptRunner.h"

#include "platform/AppleScriptStatement.h"

#include <QProcess>

RecordingScriptRunner::RecordingScriptRunner(PasswordItems passwords)
    : m_passwords(std::move(passwords)) {}

void RecordingScriptRunner::runAppleScript(const QString& source) {
    QMutexLocker lock(&m_lock);
    statements.append(source);
    const auto parsed = AppleScriptStatement::parse(source);
    const auto* statement = std::get_if<AppleScriptStatement>(&parsed);
    if (!statement || !statement->withAdministratorPrivileges || m_userName.isEmpty() ||
        statement->userName != m_userName || m_passwords.passwordOf(*statement) != m_password)
        return;
    ranCommands.append(statement->command);
    QProcess::execute(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("sudo() { \"$@\"; }; ") + statement->command});
}

void RecordingScriptRunner::runScriptFile(const QString& path) {
    QMutexLocker lock(&m_lock);
    scriptFiles.append(path);
}

void RecordingScriptRunner::simulateAdministrator(const QString& userName,
                                                  const QString& password) {
    QMutexLocker lock(&m_lock);
    m_userName = userName;
    m_password = password;
}
