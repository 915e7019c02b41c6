#pragma once

#include <QString>
#include <QStringList>

// While a tunnel is up, the two usual network services resolve through 8.8.8.8; the
// statements run `networksetup` as root.

// The resolver the override points the network services at.
inline constexpr const char* kOverrideResolver = "8.8.8.8";

// Writes the override statement for one network service into fileName in vpnHomeDir.
void writeDNSScript(const QString& service, const QString& fileName);
// Rewrites both override scripts and starts them, Ethernet first; returns at once.
void applyDNSOverride();
// The two statements that give Ethernet and Wi-Fi back their network's DNS servers,
// in the order they run, with the administrator of this moment, or the one named.
QStringList dnsResetStatements();
QStringList dnsResetStatements(const QString& userName);
// Whether this run applied an override that may still be in force.
bool dnsOverrideMayBeInForce();
// Runs both reset statements and waits for them: for quit and sign-out, which must not
// leave the override behind, whatever state the tunnel was in.
void restoreDNSNow();
