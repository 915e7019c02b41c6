#pragma once

#include "platform/PamAdminAccounts.h"
#include "platform/PasswordItems.h"
#include "platform/ScriptRunner.h"

#include <QStringList>

struct AppleScriptStatement;

// Runs statements with /bin/sh -c. The privileged form runs as root only for an
// administrator with the right password: checked through PAM, then the command runs
// directly when this process is root, or through sudo -S for the current user otherwise.
// A password named by item is read from the store as the statement runs.
class SudoScriptRunner final : public ScriptRunner {
public:
    explicit SudoScriptRunner(PasswordItems passwords = {},
                              QString interpreterPath = locateInterpreter(),
                              const AdminAccounts& accounts = PamAdminAccounts::shared());

    void runAppleScript(const QString& source) override;
    void runScriptFile(const QString& path) override;

    // True when the statement was accepted and its command exited with status 0.
    bool run(const QString& source);

    // orvel-osascript next to this executable, in the install's libexec folder or on PATH.
    static QString locateInterpreter();
    // What sudo is given to run COMMAND as root, the password coming on stdin.
    static QStringList sudoArguments(const QString& command);
    // COMMAND with the client's libexec folder searched first, for itself and its sudo.
    static QString withOwnTools(const QString& command);

private:
    bool runPrivileged(const AppleScriptStatement& statement);

    PasswordItems m_passwords;
    QString m_interpreter;
    const AdminAccounts& m_accounts;
};
