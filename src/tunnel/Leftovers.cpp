#include "tunnel/Leftovers.h"

#include "core/AppState.h"
#include "platform/Preferences.h"
#include "platform/ScriptRunner.h"
#include "tunnel/DnsOverride.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/OpenVPNCommands.h"
#include "tunnel/PrivilegedScript.h"
#include "tunnel/WorkingFiles.h"

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLeftovers, "orvel.teardown")

bool Leftovers::clearAfterCrash(const QString& vpnHome, ScriptRunner& runner,
                                const Preferences& preferences) {
    if (!QFile::exists(TeardownMarker::pathIn(vpnHome)))
        return false;
    const QString user = preferences.string(QStringLiteral("username")).value_or(QString());
    qCInfo(lcLeftovers) << "an earlier run did not tear down: stopping its OpenVPN and "
                           "restoring the DNS";
    const QString stop = OpenVPNCommands::stopCommand(vpnHome);
    if (!stop.isEmpty())
        runner.runAppleScript(makeItemPrivilegedScript(stop, user, kAdminPasswordItem));
    for (const QString& statement : dnsResetStatements(user))
        runner.runAppleScript(statement);
    QFile::remove(TeardownMarker::pathIn(vpnHome));
    return true;
}
