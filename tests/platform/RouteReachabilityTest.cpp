#include "platform/RouteReachability.h"

#include <gtest/gtest.h>

namespace {
const char* kHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
}

TEST(RouteReachabilityTest, Ipv4DefaultRouteThatIsUp_IsReachable) {
    const QByteArray table = QByteArray(kHeader) +
                             "eth0\t00000000\t0100000A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                             "eth0\t0000000A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    EXPECT_TRUE(RouteReachability::ipv4TableHasDefaultRoute(table));
}

TEST(RouteReachabilityTest, OnlyLinkRoutesOrADownDefault_IsNotReachable) {
    const QByteArray linkOnly =
        QByteArray(kHeader) + "eth0\t0000000A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    EXPECT_FALSE(RouteReachability::ipv4TableHasDefaultRoute(linkOnly));
    const QByteArray downDefault =
        QByteArray(kHeader) + "eth0\t00000000\t0100000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";
    EXPECT_FALSE(RouteReachability::ipv4TableHasDefaultRoute(downDefault));
    EXPECT_FALSE(RouteReachability::ipv4TableHasDefaultRoute(QByteArray()));
}

TEST(RouteReachabilityTest, Ipv6DefaultRoute_CountsButRejectAndLoopbackRoutesDoNot) {
    const QByteArray zeros(32, '0');
    const QByteArray up = zeros + " 00 " + zeros +
                          " 00 fe800000000000000000000000000001 00000400 "
                          "00000001 00000000 00000003 eth0\n";
    EXPECT_TRUE(RouteReachability::ipv6TableHasDefaultRoute(up));
    const QByteArray reject =
        zeros + " 00 " + zeros + " 00 " + zeros + " ffffffff 00000001 00000000 00200200 lo\n";
    EXPECT_FALSE(RouteReachability::ipv6TableHasDefaultRoute(reject));
}

TEST(RouteReachabilityTest, MissingTables_AreNotReachable) {
    RouteReachability reachability(QStringLiteral("/nonexistent/route"),
                                   QStringLiteral("/nonexistent/ipv6_route"));
    EXPECT_FALSE(reachability.isReachable());
}
