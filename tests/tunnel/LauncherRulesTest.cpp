#include "LauncherRules.h"

#include "tunnel/OpenVPNProfileFilter.h"

#include <gtest/gtest.h>

namespace {

// What the client writes into default.ovpn for a service text with a hostile line.
std::string writtenFor(const QByteArray& authPath, const QByteArray& mode = "client") {
    return OpenVPNProfileFilter(authPath)
        .filtered(mode + "\ndev tun\nremote 10.0.0.1 1194\nauth-user-pass " + authPath +
                  "\nup /tmp/x.sh\n<ca>\n-----BEGIN CERTIFICATE-----\nQUJD\n"
                  "-----END CERTIFICATE-----\n</ca>\n")
        .toStdString();
}

const QByteArray kAuth = "/run/user/1000/orvelvpn/auth.txt";
const std::string kWritten = writtenFor(kAuth);

struct ConfigCase {
    const char* name;
    std::string text;
    bool allowed;
    friend void PrintTo(const ConfigCase& c, std::ostream* out) { *out << c.name; }
};

class LauncherConfigTextTest : public testing::TestWithParam<ConfigCase> {};

TEST_P(LauncherConfigTextTest, RunsOnlyWhatTheClientsFilterWrites) {
    const ConfigCase& c = GetParam();
    EXPECT_EQ(launcher::configTextProblem(c.text).empty(), c.allowed) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LauncherConfigTextTest,
    testing::Values(ConfigCase{"ClientsOwnOutput", kWritten, true},
                    ConfigCase{"AuthFileElsewhere", writtenFor("/etc/shadow"), false},
                    ConfigCase{"AuthPathNotPlain", writtenFor("/run/u/../../etc/auth.txt"), false},
                    ConfigCase{"SecondAuthFile", kWritten + "auth-user-pass /tmp/auth.txt\n",
                               false},
                    // OpenVPN reads "up" and "/tmp/x.sh" here: the quote ends the word.
                    ConfigCase{"GluedQuote", kWritten + "\"up\"/tmp/x.sh\n", false},
                    ConfigCase{"ByteOrderMark", "\xEF\xBB\xBF" + kWritten, false},
                    ConfigCase{"UnknownDirective", kWritten + "askpass /etc/shadow\n", false},
                    ConfigCase{"CarriageReturns", "client\r\n", false},
                    // As the filter writes it, but no client: OpenVPN would take any peer.
                    ConfigCase{"NotAClient", writtenFor(kAuth, "tls-client"), false}),
    [](const testing::TestParamInfo<ConfigCase>& info) { return info.param.name; });

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

TEST(LauncherRulesTest, ProcessRecord_StartTimeAfterTheLastParenthesisAndStrictRecords) {
    const std::string fields = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 4711 19 20\n";
    EXPECT_EQ(launcher::startTimeOf("123 (openvpn)" + fields), "4711");
    EXPECT_EQ(launcher::startTimeOf("123 (a) b (c) d)" + fields), "4711");
    EXPECT_EQ(launcher::startTimeOf("123 (openvpn) S 1 2\n"), "");

    const launcher::ProcessRecord record{123, "4711", launcher::commandLineOf({"/a", "b c"})};
    EXPECT_EQ(launcher::parseRecord(launcher::recordText(record)), record);
    using namespace std::string_literals;
    for (const std::string& garbage : {"123\n4711\n"s, "123\n4711\n/a"s, "x\n4711\n/a\0"s,
                                       "1\n4711\n/a\0"s, "99999999999\n1\n/a\0"s})
        EXPECT_FALSE(launcher::parseRecord(garbage)) << garbage;
}

} // namespace
