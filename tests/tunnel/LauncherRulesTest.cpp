#include "LauncherRules.h"

#include <gtest/gtest.h>

namespace {

struct ConfigCase {
    const char* text;
    bool allowed;
};

class LauncherConfigTextTest : public testing::TestWithParam<ConfigCase> {};

TEST_P(LauncherConfigTextTest, RunsOnlyWhatStartsNoProgramAndWritesNoFile) {
    const ConfigCase& c = GetParam();
    EXPECT_EQ(launcher::configTextProblem(c.text).empty(), c.allowed) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Directives, LauncherConfigTextTest,
    testing::Values(ConfigCase{"client\ndev tun\nremote 10.0.0.1 1194\nca /tmp/w/ca.crt\n"
                               "auth-user-pass /home/ann/OrvelVPN/auth.txt\nverb 3\n",
                               true},
                    ConfigCase{"auth-user-pass \"/home/ann/OrvelVPN/auth.txt\"\r\n", true},
                    ConfigCase{"auth-user-pass /run/user/1000/orvelvpn/auth.txt\n", true},
                    ConfigCase{"# up /bin/sh\n; plugin x.so\n", true},
                    ConfigCase{"<ca>\nup /bin/sh\n</ca>\n", true},
                    ConfigCase{"up /tmp/x.sh\n", false}, ConfigCase{"  --UP /tmp/x.sh\n", false},
                    ConfigCase{"u\\p /tmp/x.sh\n", false},
                    ConfigCase{"'plugin' /tmp/x.so\n", false},
                    ConfigCase{"setenv opt script-security 2\n", false},
                    ConfigCase{"<plugin>\nx\n</plugin>\n", false},
                    ConfigCase{"writepid /etc/passwd\n", false},
                    ConfigCase{"log-append /etc/shadow\n", false},
                    ConfigCase{"management 0.0.0.0 7505\n", false},
                    ConfigCase{"config /etc/other.conf\n", false},
                    ConfigCase{"auth-user-pass /etc/shadow\n", false},
                    ConfigCase{"auth-user-pass /home/ann/OrvelVPN/../../../etc/shadow\n", false},
                    ConfigCase{"auth-user-pass /x/../etc/auth.txt\n", false},
                    ConfigCase{"auth-user-pass auth.txt\n", false}));

// OpenVPN reads the credentials from root's copy of the file the line names.
TEST(LauncherAuthFileTest, IsTheLastAuthLineOutsideBlocksAndComments) {
    EXPECT_EQ(launcher::authFileOf("client\n# auth-user-pass /a/auth.txt\n<ca>\nauth-user-pass "
                                   "/b/auth.txt\n</ca>\nauth-user-pass \"/run/u 1/auth.txt\"\n"),
              "/run/u 1/auth.txt");
    EXPECT_EQ(launcher::authFileOf("client\nauth-user-pass\n"), "");
    EXPECT_EQ(launcher::authFileOf("client\n"), "");
}

TEST(LauncherRulesTest, ConfigPath_OnlyTheInvokingUsersDefaultOvpn) {
    EXPECT_EQ(launcher::configPathProblem("/home/ann/OrvelVPN/default.ovpn", "/home/ann"), "");
    EXPECT_EQ(launcher::configPathProblem("/home/ann/OrvelVPN/default.ovpn", "/home/ann/"), "");
    for (const char* refused :
         {"/home/bob/OrvelVPN/default.ovpn", "/home/ann/OrvelVPN/other.ovpn",
          "/home/ann/x/../OrvelVPN/default.ovpn", "home/ann/OrvelVPN/default.ovpn",
          "/home/ann//OrvelVPN/default.ovpn", "/OrvelVPN/default.ovpn"})
        EXPECT_NE(launcher::configPathProblem(refused, "/home/ann"), "") << refused;
    // Root's client may have any home, but only the client's file name.
    EXPECT_EQ(launcher::configPathProblem("/tmp/t1/OrvelVPN/default.ovpn", ""), "");
    EXPECT_NE(launcher::configPathProblem("/etc/openvpn/server.conf", ""), "");
}

TEST(LauncherRulesTest, InvokingUser_IsSudosCallerAndRefusesGarbage) {
    EXPECT_EQ(launcher::invokingUser(nullptr, 1000), std::optional<uid_t>(1000));
    EXPECT_EQ(launcher::invokingUser("1001", 0), std::optional<uid_t>(1001));
    EXPECT_EQ(launcher::invokingUser("0", 0), std::optional<uid_t>(0));
    for (const char* garbage : {"", "12a", "-1", "99999999999"})
        EXPECT_FALSE(launcher::invokingUser(garbage, 0).has_value()) << garbage;
}

TEST(LauncherRulesTest, StateFiles_AreKeptApartPerConfiguration) {
    const std::string a = "/tmp/a/OrvelVPN/default.ovpn";
    const std::string b = "/tmp/b/OrvelVPN/default.ovpn";
    EXPECT_EQ(launcher::pidFilePath(a), launcher::pidFilePath(a));
    EXPECT_NE(launcher::pidFilePath(a), launcher::pidFilePath(b));
    EXPECT_EQ(launcher::pidFilePath(a).rfind("/run/orvelvpn/", 0), 0u);
}

} // namespace
