#pragma once

#include "core/TunnelTeardown.h"

// The quit and sign-out teardown over VPNManager::shared() and the OpenVPN stop script.
class SharedTunnelTeardown final : public TunnelTeardown {
public:
    explicit SharedTunnelTeardown(std::function<void()> runStopScript);

    void disconnectIKEv2() override;
    void disconnectIKEv2ForTermination(std::function<void(bool)> replyToTerminate) override;
    void runOpenVPNStopScript() override;
    void restoreDNS() override;
    void forgetLeftovers() override;

private:
    std::function<void()> m_runStopScript;
};
