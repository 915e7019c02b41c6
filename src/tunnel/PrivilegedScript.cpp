#include "tunnel/PrivilegedScript.h"

#include "core/AppState.h"
#include "tunnel/KeychainItems.h"

QString appleScriptEscaped(const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '"':
            escaped += QLatin1String("\\\"");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString shellQuoted(const QString& word) {
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString makePrivilegedScript(const QString& command, const QString& userName,
                             const QString& password) {
    return QLatin1String("do shell script \"") + appleScriptEscaped(command) +
           QLatin1String("\" user name \"") + appleScriptEscaped(userName) +
           QLatin1String("\" password \"") + appleScriptEscaped(password) +
           QLatin1String("\" with administrator privileges");
}

QString makeItemPrivilegedScript(const QString& command, const QString& userName,
                                 const QString& passwordItem) {
    return QLatin1String("do shell script \"") + appleScriptEscaped(command) +
           QLatin1String("\" user name \"") + appleScriptEscaped(userName) +
           QLatin1String("\" password of keychain item \"") + appleScriptEscaped(passwordItem) +
           QLatin1String("\" with administrator privileges");
}

QString makePrivilegedScript(const QString& command) {
    return makeItemPrivilegedScript(command, appState().adminUserName, kAdminPasswordItem);
}

QString makeShellScript(const QString& command) {
    return QLatin1String("do shell script \"") + appleScriptEscaped(command) + QLatin1Char('"');
}
