#include "tunnel/TunnelInterfaces.h"

#include "support/FakeInterfaceList.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

namespace {
constexpr unsigned int kUpRunning = IFF_UP | IFF_RUNNING | IFF_POINTOPOINT;

struct EntryCase {
    const char* what;
    InterfaceAddress entry;
    int counted;
};

void PrintTo(const EntryCase& c, std::ostream* out) {
    *out << c.what;
}

class TunnelInterfaceEntryTest : public ::testing::TestWithParam<EntryCase> {};
} // namespace

TEST_P(TunnelInterfaceEntryTest, OnlyUpRunningNonLoopbackIPv4WithAnAddressCounts) {
    FakeInterfaceList interfaces;
    interfaces.entries = {GetParam().entry};
    EXPECT_EQ(countTunnelInterfaces(interfaces), GetParam().counted);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, TunnelInterfaceEntryTest,
    ::testing::Values(
        EntryCase{"up", {"utun2", kUpRunning, AF_INET, "10.8.0.2"}, 1},
        EntryCase{"loopback", {"utun2", kUpRunning | IFF_LOOPBACK, AF_INET, "10.8.0.2"}, 0},
        EntryCase{"down", {"utun2", IFF_RUNNING, AF_INET, "10.8.0.2"}, 0},
        EntryCase{"not running", {"utun2", IFF_UP, AF_INET, "10.8.0.2"}, 0},
        EntryCase{"IPv6 only", {"utun2", kUpRunning, AF_INET6, "fd00::2"}, 0},
        EntryCase{"no address", {"utun2", kUpRunning, AF_INET, ""}, 0},
        EntryCase{"beyond utun10", {"utun11", kUpRunning, AF_INET, "10.8.0.2"}, 0},
        EntryCase{"name merely starts so", {"utun1x", kUpRunning, AF_INET, "10.8.0.2"}, 0}));
