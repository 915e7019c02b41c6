#include "servers/ServerList.h"

#include "api/ApiClient.h"
#include "api/ApiReply.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/ServiceFixture.h"

#include <QTest>

namespace {
ApiReply replyOf(const char* json) {
    return ApiReply(nlohmann::json::parse(json));
}

const ServerList& ikev2() {
    return appState().ikev2ServerList;
}
const ServerList& openvpn() {
    return appState().openvpnServerList;
}

class ServerListTest : public ServiceTest {};
} // namespace

TEST_F(ServerListTest, EachListStartsWithItsAutomaticEntry) {
    rebuildServerLists(replyOf(R"({"result":"200"})"));
    ASSERT_EQ(ikev2().size(), 1);
    ASSERT_EQ(openvpn().size(), 1);
    for (const auto& [entry, protocol] :
         {std::pair{ikev2().first(), "IKEV2"}, std::pair{openvpn().first(), "OpenVPN"}}) {
        EXPECT_EQ(entry->name, localized(QStringLiteral("AUTO_MATCHING")));
        EXPECT_EQ(entry->country, QStringLiteral("KR"));
        EXPECT_EQ(entry->vpnProtocol, QLatin1String(protocol));
        EXPECT_TRUE(entry->hostdomain.isEmpty());
        EXPECT_TRUE(entry->is_active);
        EXPECT_TRUE(entry->is_status);
    }
}

TEST_F(ServerListTest, ProtocolTextIsMatchedBySubstringAndCase) {
    rebuildServerLists(replyOf(R"({"result":"200","data":[
        {"protocol":"IKEV2","name":"a"},
        {"protocol":"OPENVPN","name":"b"},
        {"protocol":"ikev2","name":"c"},
        {"protocol":"L2TP","name":"d"},
        {"protocol":"xIKEV2x","name":"e"}]})"));
    ASSERT_EQ(ikev2().size(), 3);
    EXPECT_EQ(ikev2().at(1)->name, QStringLiteral("a"));
    EXPECT_EQ(ikev2().at(2)->name, QStringLiteral("e"));
    ASSERT_EQ(openvpn().size(), 2);
    EXPECT_EQ(openvpn().at(1)->name, QStringLiteral("b"));
    EXPECT_EQ(openvpn().at(1)->vpnProtocol, QStringLiteral("OPENVPN"));
}

TEST_F(ServerListTest, ServerOfBothProtocolsBecomesTwoSeparateRecords) {
    rebuildServerLists(replyOf(R"({"result":"200","data":[
        {"protocol":"IKEV2,OPENVPN","name":"Seoul","hostdomain":"kr.example","hostip":"10.0.0.1",
         "country":"KR","pd_name":"p","telecom":"KT","config":"client","is_active":false,
         "is_status":true}]})"));
    ASSERT_EQ(ikev2().size(), 2);
    ASSERT_EQ(openvpn().size(), 2);
    const auto& a = ikev2().at(1);
    const auto& b = openvpn().at(1);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->vpnProtocol, QStringLiteral("IKEV2"));
    EXPECT_EQ(b->vpnProtocol, QStringLiteral("OPENVPN"));
    for (const auto& server : {a, b}) {
        EXPECT_EQ(server->hostdomain, QStringLiteral("kr.example"));
        EXPECT_EQ(server->hostip, QStringLiteral("10.0.0.1"));
        EXPECT_EQ(server->pd_name, QStringLiteral("p"));
        EXPECT_EQ(server->telecom, QStringLiteral("KT"));
        EXPECT_EQ(server->config, QStringLiteral("client"));
        EXPECT_FALSE(server->is_active) << "inactive servers are still listed";
        EXPECT_TRUE(server->is_status);
    }
}

TEST_F(ServerListTest, MissingMembersReadAsEmptyAndFalse) {
    rebuildServerLists(replyOf(R"({"result":"200","data":[{"protocol":"IKEV2"}, 5, "x"]})"));
    ASSERT_EQ(ikev2().size(), 2);
    const ServerData& server = *ikev2().at(1);
    EXPECT_TRUE(server.name.isEmpty());
    EXPECT_TRUE(server.country.isEmpty());
    EXPECT_TRUE(server.config.isEmpty());
    EXPECT_FALSE(server.is_active);
    EXPECT_FALSE(server.is_status);
}

TEST_F(ServerListTest, DataThatIsNotAListLeavesOnlyTheAutomaticEntries) {
    rebuildServerLists(replyOf(R"({"result":"200","data":{"protocol":"IKEV2"}})"));
    EXPECT_EQ(ikev2().size(), 1);
    EXPECT_EQ(openvpn().size(), 1);
}

TEST_F(ServerListTest, RefusalsAlertAndKeepThePreviousLists) {
    rebuildServerLists(replyOf(R"({"data":[{"protocol":"IKEV2"}]})"));
    const ServerList before = ikev2();
    int rebuilt = 0;
    const ServerListRequest request{{}, [&] { ++rebuilt; }, {}};
    for (const char* reply : {R"({"result":"500"})", R"("just a string")", "42", "[]"})
        handleServerListReply(replyOf(reply), request);
    EXPECT_EQ(rebuilt, 0);
    EXPECT_EQ(ikev2(), before);
    EXPECT_EQ(alerts().confirmTexts, QStringList(4, localized(QStringLiteral("ERRORALERT"))));
}

TEST_F(ServerListTest, FetchFromTheServiceReportsTheResultAndRebuilds) {
    signIn();
    QString result;
    bool rebuilt = false;
    getServerList({[&](const QString& text) { result = text; }, [&] { rebuilt = true; }, {}});
    ASSERT_TRUE(waitUntil([&] { return rebuilt; }));
    EXPECT_EQ(result, QStringLiteral("200"));
    const LoggedRequest sent =
        service().requests(QStringLiteral("/v1/app_new_server_list")).first();
    EXPECT_EQ(sent.form.keys(), QStringList({QStringLiteral("csrfmiddlewaretoken")}));
    // The demo lists four IKEv2 and four OpenVPN servers.
    EXPECT_EQ(ikev2().size(), 5);
    EXPECT_EQ(openvpn().size(), 5);
    EXPECT_EQ(openvpn().at(3)->name, QStringLiteral("Los Angeles 1"));
}

TEST_F(ServerListTest, FailedRepliesAreResentToTheNextHost) {
    signIn();
    service().setFault(QStringLiteral("/v1/app_new_server_list"),
                       Fault{Fault::Kind::Html, 0, {0}, -1});
    bool rebuilt = false;
    getServerList({{}, [&] { rebuilt = true; }, {}});
    ASSERT_TRUE(waitUntil([&] { return rebuilt || !alerts().confirmTexts.isEmpty(); }));
    EXPECT_EQ(hostsVisited(QStringLiteral("/v1/app_new_server_list")), QList<int>({0, 1}));
}

TEST_F(ServerListTest, SessionEndSignsOutAndClosesTheRequestersWindow) {
    openSession(); // not signed in: the service answers "400"
    preferences().setValue(QStringLiteral("isChecked"), 1);
    QWidget sheet;
    sheet.show();
    bool rebuilt = false;
    getServerList({{}, [&] { rebuilt = true; }, &sheet});
    ASSERT_TRUE(waitUntil([&] { return !sheet.isVisible(); }));
    EXPECT_FALSE(rebuilt);
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
}

// The speed of this is measured in bench/; here only the outcome on a large reply.
TEST_F(ServerListTest, FiveThousandServers_AllListedInReplyOrderBehindTheAutomaticEntry) {
    std::string body = R"({"result":"200","data":[)";
    for (int i = 0; i < 5000; ++i) {
        body += (i ? "," : "");
        body += R"({"protocol":"IKEV2,OPENVPN","name":"Server )" + std::to_string(i) +
                R"(","hostdomain":"s.example","hostip":"10.0.0.1","country":"KR","pd_name":"p",)"
                R"("telecom":"KT","config":"client\r\ndev tun\r\nremote 10.0.0.1 1194\r\n",)"
                R"("is_active":true,"is_status":true})";
    }
    body += "]}";
    const QByteArray bytes = QByteArray::fromStdString(body);
    const std::optional<ApiReply> reply = ApiReply::parse(bytes);
    ASSERT_TRUE(reply);
    rebuildServerLists(*reply);
    ASSERT_EQ(ikev2().size(), 5001);
    ASSERT_EQ(openvpn().size(), 5001);
    EXPECT_EQ(ikev2().last()->name, QStringLiteral("Server 4999"));
    EXPECT_EQ(openvpn().at(1)->name, QStringLiteral("Server 0"));
    EXPECT_NE(ikev2().at(1), openvpn().at(1));
}
