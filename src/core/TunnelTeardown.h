#pragma once

#include <functional>

// The tunnel teardown the quit path needs, filled by the tunnel code.
class TunnelTeardown {
public:
    virtual ~TunnelTeardown() = default;
    // VPNManager.shared.disconnect without completion.
    virtual void disconnectIKEv2() = 0;
    // VPNManager.shared.disconnectForTermination: answers the pending quit once the
    // tunnel is down, or after a few seconds at most.
    virtual void disconnectIKEv2ForTermination(std::function<void(bool)> replyToTerminate) = 0;
    // runStopScript: starts disconnect.scpt without waiting.
    virtual void runOpenVPNStopScript() = 0;
    // Gives the network services their own DNS back, waiting for it.
    virtual void restoreDNS() = 0;
    // The teardown has run: a later start has nothing left to clear.
    virtual void forgetLeftovers() = 0;
};
