#pragma once

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

// No link, address, route, tunnel or firewall rule an e2e test makes may show in this
// machine's own network namespace. As root the e2e process therefore moves, first thing,
// into a network namespace and a mount table of its own: loopback up, a default route
// into a veth pair whose both ends stay inside (the client's reachability check wants
// one; nothing leaves), and a /sys that shows this namespace's links. Everything the
// tests start (sudo, the launcher, openvpn, charon, `ip netns add`) inherits it, and
// concurrent test processes no longer share utunN names.
namespace e2e {

// Called first in main, while the process has one thread. ORVEL_E2E_ISOLATED marks a
// process that is already inside (a child of an isolated one): it stays where it is.
void isolateNetwork();

// Empty when this process runs in a network namespace of its own; why not otherwise.
// Tests that make links, routes or tunnels skip with it.
QString networkIsolationProblem();

// Fails the run when the machine's links, routes (v4 and v6), nftables ruleset or
// /etc/resolv.conf differ after the tests from before, read in the namespace and mount
// table the process started in.
class HostNetworkGuard final : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

private:
    QByteArray m_before;
};

} // namespace e2e
