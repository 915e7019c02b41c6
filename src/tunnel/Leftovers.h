#pragma once

#include <QString>

class Preferences;
class ScriptRunner;

// What a run leaves on the machine until its teardown has run: its OpenVPN and its DNS
// override. A marker in the working folder says so, so that the start after a crash
// can clear them.
namespace Leftovers {

constexpr const char* kMarkerName = "teardown.pending";

// In vpnHomeDir, when an OpenVPN is launched or the DNS overridden.
void markPending();
// Once the quit's teardown has run.
void clearMarker();
// At start, before anything else: when an earlier run left its marker in `vpnHome`, its
// OpenVPN is stopped and the DNS restored, as the stored administrator, and the marker
// goes. False when there was nothing to clear.
bool clearAfterCrash(const QString& vpnHome, ScriptRunner& runner, const Preferences& preferences);

} // namespace Leftovers
