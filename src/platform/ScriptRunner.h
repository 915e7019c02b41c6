#pragma once

#include <QString>
#include <QStringList>

// Runs one AppleScript statement of the form
//   do shell script "COMMAND" [user name "U" password "P" with administrator privileges]
// The privileged form runs COMMAND as root when, and only when, U is an administrator
// and P is U's password.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // Synchronous, on the caller's thread. The outcome is only logged.
    virtual void runAppleScript(const QString& source) = 0;
    // Starts the interpreter on a script file and does not wait for it.
    virtual void runScriptFile(const QString& path) = 0;
    // The files one after the other, in this order, and does not wait for them; a runner
    // that can runs them in one interpreter, which checks the password once.
    virtual void runScriptFiles(const QStringList& paths) {
        for (const QString& path : paths)
            runScriptFile(path);
    }
};
