#include "tunnel/SharedTunnelTeardown.h"

#include "tunnel/DnsOverride.h"
#include "tunnel/OpenVPNSession.h"
#include "tunnel/VPNManager.h"
#include "tunnel/WorkingFiles.h"

SharedTunnelTeardown::SharedTunnelTeardown(std::function<void()> runStopScript)
    : m_runStopScript(std::move(runStopScript)) {}

void SharedTunnelTeardown::disconnectIKEv2() {
    VPNManager::shared().disconnect();
}

void SharedTunnelTeardown::disconnectIKEv2ForTermination(
    std::function<void(bool)> replyToTerminate) {
    VPNManager::shared().disconnectForTermination(std::move(replyToTerminate));
}

void SharedTunnelTeardown::runOpenVPNStopScript() {
    if (m_runStopScript)
        m_runStopScript();
}

void SharedTunnelTeardown::restoreDNS() {
    restoreDNSNow();
}

// OpenVPN's credentials go too: written for an attempt that never launched (the client
// quit at the administrator dialog), nothing else would remove them.
void SharedTunnelTeardown::forgetLeftovers() {
    TeardownMarker::clear();
    removeAuthFile();
}
