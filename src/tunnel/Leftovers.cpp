#include "tunnel/Leftovers.h"

#include "core/AppState.h"
#include "platform/Preferences.h"
#include "platform/ScriptRunner.h"
#include "tunnel/DnsOverride.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/OpenVPNCommands.h"
#include "tunnel/PrivilegedScript.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLeftovers, "orvel.teardown")

namespace {
QString markerIn(const QString& vpnHome) {
    return vpnHome + QLatin1String(Leftovers::kMarkerName);
}
} // namespace

void Leftovers::markPending() {
    const QString home = appState().vpnHomeDir;
    if (home.isEmpty() || QFile::exists(markerIn(home)))
        return;
    QDir().mkpath(home);
    QFile marker(markerIn(home));
    if (!marker.open(QIODevice::WriteOnly))
        qCWarning(lcLeftovers) << "cannot write" << marker.fileName() << marker.errorString();
}

void Leftovers::clearMarker() {
    const QString home = appState().vpnHomeDir;
    if (!home.isEmpty())
        QFile::remove(markerIn(home));
}

bool Leftovers::clearAfterCrash(const QString& vpnHome, ScriptRunner& runner,
                                const Preferences& preferences) {
    if (!QFile::exists(markerIn(vpnHome)))
        return false;
    const QString user = preferences.string(QStringLiteral("username")).value_or(QString());
    qCInfo(lcLeftovers) << "an earlier run did not tear down: stopping its OpenVPN and "
                           "restoring the DNS";
    const QString stop = OpenVPNCommands::stopCommand(vpnHome);
    if (!stop.isEmpty())
        runner.runAppleScript(makeItemPrivilegedScript(stop, user, kAdminPasswordItem));
    for (const QString& statement : dnsResetStatements(user))
        runner.runAppleScript(statement);
    QFile::remove(markerIn(vpnHome));
    return true;
}
