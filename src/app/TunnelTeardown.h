#pragma once

#include <functional>

// The tunnel teardown the quit path needs, filled by the tunnel code.
class TunnelTeardown {
public:
    virtual ~TunnelTeardown() = default;
    // VPNManager.shared.disconnect without completion.
    virtual void disconnectIKEv2() = 0;
    // VPNManager.shared.disconnectForTermination: answers the pending quit right after
    // the profile save has been requested.
    virtual void disconnectIKEv2ForTermination(std::function<void(bool)> replyToTerminate) = 0;
    // runStopScript: starts disconnect.scpt without waiting.
    virtual void runOpenVPNStopScript() = 0;
};
