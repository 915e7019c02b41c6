#include "tunnel/DnsOverride.h"

#include "core/AppState.h"
#include "core/Services.h"
#include "platform/ScriptRunner.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/PrivilegedScript.h"
#include "tunnel/WorkingFiles.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDns, "orvel.dns")

namespace {

const QString kEthernet = QStringLiteral("Ethernet");
const QString kWifi = QStringLiteral("Wi-Fi");
const QString kEthernetScript = QStringLiteral("setEthernetDNS.scpt");
const QString kWifiScript = QStringLiteral("setWifiDNS.scpt");

QString setDnsServersCommand(const QString& service, const QString& servers) {
    return QStringLiteral("sudo networksetup -setdnsservers ") + service + QLatin1Char(' ') +
           servers;
}

} // namespace

void writeDNSScript(const QString& service, const QString& fileName) {
    writeWorkingFile(fileName, makePrivilegedScript(
                                   setDnsServersCommand(service, QLatin1String(kOverrideResolver)))
                                   .toUtf8());
}

void applyDNSOverride() {
    writeDNSScript(kEthernet, kEthernetScript);
    writeDNSScript(kWifi, kWifiScript);
    ScriptRunner* runner = services().scriptRunner;
    if (!runner) {
        qCWarning(lcDns) << "no script runner is wired; the DNS stays as it is";
        return;
    }
    const QString home = appState().vpnHomeDir;
    appState().dnsOverrideApplied = true;
    TeardownMarker::markPending();
    // Both in one privileged round: their order stays, the password is checked once.
    runner->runScriptFiles({home + kEthernetScript, home + kWifiScript});
}

QStringList dnsResetStatements() {
    return dnsResetStatements(appState().adminUserName);
}

QStringList dnsResetStatements(const QString& userName) {
    return {makeItemPrivilegedScript(setDnsServersCommand(kEthernet, QStringLiteral("empty")),
                                     userName, kAdminPasswordItem),
            makeItemPrivilegedScript(setDnsServersCommand(kWifi, QStringLiteral("empty")), userName,
                                     kAdminPasswordItem)};
}

bool dnsOverrideMayBeInForce() {
    return appState().dnsOverrideApplied;
}

void restoreDNSNow() {
    ScriptRunner* runner = services().scriptRunner;
    if (!runner || !appState().dnsOverrideApplied)
        return;
    for (const QString& statement : dnsResetStatements())
        runner->runAppleScript(statement);
    appState().dnsOverrideApplied = false;
}
