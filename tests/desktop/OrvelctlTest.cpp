#include "Orvelctl.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

struct ArgumentCase {
    const char* name;
    QStringList arguments;
    const char* request; // compact JSON, or the error
    bool valid;
};

class OrvelctlArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(OrvelctlArguments, BecomeOneRequestOrAReason) {
    QString error;
    const auto request = Orvelctl::parseRequest(GetParam().arguments, &error);
    ASSERT_EQ(request.has_value(), GetParam().valid) << qPrintable(error);
    if (request)
        EXPECT_EQ(QJsonDocument(*request).toJson(QJsonDocument::Compact),
                  QByteArray(GetParam().request));
    else
        EXPECT_EQ(error, QString::fromUtf8(GetParam().request));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OrvelctlArguments,
    ::testing::Values(
        ArgumentCase{"Status", {"status", "--json"}, R"({"command":"status","version":1})", true},
        ArgumentCase{"ConnectBoth",
                     {"connect", "--server", "Tokyo 1", "--protocol", "openvpn"},
                     R"({"command":"connect","protocol":"openvpn","server":"Tokyo 1","version":1})",
                     true},
        ArgumentCase{"NoCommand", {}, "no command given", false},
        ArgumentCase{"Unknown", {"restart"}, "unknown command restart", false},
        ArgumentCase{
            "ServerWithoutValue", {"connect", "--server"}, "--server needs a value", false},
        ArgumentCase{"BadProtocol",
                     {"connect", "--protocol", "wireguard"},
                     "--protocol is ikev2 or openvpn",
                     false},
        ArgumentCase{
            "JsonOnConnect", {"connect", "--json"}, "unknown option --json for connect", false},
        ArgumentCase{"WatchJson", {"watch", "--json"}, R"({"command":"watch","version":1})", true},
        ArgumentCase{"GetOne",
                     {"get", "kill_switch"},
                     R"({"command":"get","name":"kill_switch","version":1})",
                     true},
        ArgumentCase{"SetOff",
                     {"set", "connect_at_start", "off"},
                     R"({"command":"set","name":"connect_at_start","value":false,"version":1})",
                     true},
        ArgumentCase{
            "SetWithoutValue", {"set", "kill_switch"}, "set needs a setting and on or off", false},
        ArgumentCase{
            "CancelWithArgument", {"cancel", "now"}, "unexpected argument now for cancel", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrvelctlRun, ExitStatusTellsNotRunningRefusedAndUsageApart) {
    const auto notRunning = [](const QJsonObject&) { return std::optional<QJsonObject>(); };
    const auto refused = [](const QJsonObject&) {
        return std::optional<QJsonObject>(
            QJsonObject{{"ok", false}, {"error", "unknown server Atlantis"}});
    };
    EXPECT_EQ(Orvelctl::run({"status"}, notRunning).exitCode, Orvelctl::NotRunning);
    const Orvelctl::Outcome failed = Orvelctl::run({"connect", "--server", "Atlantis"}, refused);
    EXPECT_EQ(failed.exitCode, Orvelctl::Failed);
    EXPECT_EQ(failed.error, "unknown server Atlantis");
    EXPECT_EQ(Orvelctl::run({"conect"}, refused).exitCode, Orvelctl::Usage);
    EXPECT_EQ(Orvelctl::run({"--help"}, notRunning).exitCode, Orvelctl::Success);
    EXPECT_EQ(Orvelctl::run({"--version"}, notRunning).output, "orvelctl " ORVEL_VERSION "\n");

    // Connected, but the failover moved on: what it got is printed, with its own status.
    const QJsonObject got{
        {"state", "connected"}, {"signed_in", true}, {"server", "Tokyo 2"}, {"protocol", "ikev2"}};
    const auto movedOn = [&got](const QJsonObject&) {
        return std::optional<QJsonObject>(
            QJsonObject{{"ok", true}, {"as_asked", false}, {"status", got}});
    };
    const Orvelctl::Outcome other = Orvelctl::run({"connect", "--server", "Tokyo 1"}, movedOn);
    EXPECT_EQ(other.exitCode, Orvelctl::OtherThanAsked);
    EXPECT_EQ(other.output, "connected to Tokyo 2 over IKEv2\n");
}

TEST(OrvelctlRun, StatusJson_PrintsTheClientsStatusObject) {
    const QJsonObject status{{"state", "connected"},
                             {"server", "Tokyo 1"},
                             {"protocol", "ikev2"},
                             {"interface", "ipsec0"},
                             {"connected_since", "2024-05-01T10:00:00"},
                             {"signed_in", true}};
    const auto answer = [&](const QJsonObject&) {
        return std::optional<QJsonObject>(QJsonObject{{"ok", true}, {"status", status}});
    };
    const Orvelctl::Outcome json = Orvelctl::run({"status", "--json"}, answer);
    EXPECT_EQ(QJsonDocument::fromJson(json.output.toUtf8()).object(), status);
    EXPECT_EQ(Orvelctl::run({"status"}, answer).output,
              "connected to Tokyo 1 over IKEv2 (ipsec0) since 2024-05-01T10:00:00\n");
}
