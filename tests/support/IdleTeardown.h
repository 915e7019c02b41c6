#pragma once

#include "core/TunnelTeardown.h"

// A teardown with nothing to undo: the IKEv2 end is answered at once.
class IdleTeardown final : public TunnelTeardown {
public:
    void disconnectIKEv2() override {}
    void disconnectIKEv2ForTermination(std::function<void(bool)> reply) override { reply(true); }
    void runOpenVPNStopScript() override {}
    void restoreDNS() override {}
    void forgetLeftovers() override {}
};
