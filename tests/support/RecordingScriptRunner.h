#pragma once

#include "platform/PasswordItems.h"
#include "platform/ScriptRunner.h"

#include <QMutex>
#include <QStringList>

// Records every statement and script file. With an administrator set, a privileged
// statement carrying exactly those credentials runs its command as the current user
// (with "sudo" as a no-op prefix), so its effects on files can be checked; a password
// named by item is read as the real runner reads it. Background jobs run statements
// too, so recording is locked; read the lists once they are done.
class RecordingScriptRunner final : public ScriptRunner {
public:
    explicit RecordingScriptRunner(PasswordItems passwords = {});

    void runAppleScript(const QString& source) override;
    void runScriptFile(const QString& path) override;

    void simulateAdministrator(const QString& userName, const QString& password);

    QStringList statements;
    QStringList scriptFiles;
    // Commands the simulation ran, in order.
    QStringList ranCommands;

private:
    PasswordItems m_passwords;
    QMutex m_lock;
    QString m_userName;
    QString m_password;
};
