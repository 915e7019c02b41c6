#pragma once

#include <QString>

class Preferences;
class ScriptRunner;

// What a crashed run left on the machine (see TeardownMarker).
namespace Leftovers {

// At start, before anything else: when an earlier run left its marker in `vpnHome`, its
// OpenVPN is stopped and the DNS restored, as the stored administrator, and the marker
// goes. False when there was nothing to clear.
bool clearAfterCrash(const QString& vpnHome, ScriptRunner& runner, const Preferences& preferences);

} // namespace Leftovers
