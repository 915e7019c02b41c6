#include "NetworkIsolation.h"
#include "support/TestRun.h"

int main(int argc, char** argv) {
    e2e::isolateNetwork();
    testing::AddGlobalTestEnvironment(new e2e::HostNetworkGuard);
    return runAllTests(argc, argv);
}
