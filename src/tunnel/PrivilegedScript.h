#pragma once

#include <QString>

// Text inside an AppleScript string literal: backslash, double quote and line breaks
// escaped, so no value can end the string or start another statement.
QString appleScriptEscaped(const QString& text);

// A word for /bin/sh that stays one word, whatever it holds.
QString shellQuoted(const QString& word);

// do shell script "COMMAND" user name "U" password "P" with administrator privileges
QString makePrivilegedScript(const QString& command, const QString& userName,
                             const QString& password);
// The same with the shared adminUserName and adminPassword of this moment.
QString makePrivilegedScript(const QString& command);
// do shell script "COMMAND", without administrator rights.
QString makeShellScript(const QString& command);
