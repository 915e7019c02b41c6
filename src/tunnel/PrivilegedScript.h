#pragma once

#include <QString>

// Text inside an AppleScript string literal: backslash, double quote and line breaks
// escaped, so no value can end the string or start another statement.
QString appleScriptEscaped(const QString& text);

// A word for /bin/sh that stays one word, whatever it holds.
QString shellQuoted(const QString& word);

// do shell script "COMMAND" user name "U" password "P" with administrator privileges
// For credentials not kept yet (the administrator check); the text holds the password.
QString makePrivilegedScript(const QString& command, const QString& userName,
                             const QString& password);
// do shell script "COMMAND" user name "U" password of keychain item "K" with
// administrator privileges: the runner reads the password from the item as it runs.
QString makeItemPrivilegedScript(const QString& command, const QString& userName,
                                 const QString& passwordItem);
// The item form for the shared adminUserName of this moment and the administrator
// password's item, so neither the text nor a script file holding it carries a secret.
QString makePrivilegedScript(const QString& command);
// do shell script "COMMAND", without administrator rights.
QString makeShellScript(const QString& command);
