#include "TestService.h"

#include "HttpTestClient.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Form = QList<std::pair<QString, QString>>;

class TestServiceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        TestService::Options options;
        options.stateDir = m_dir.path();
        options.hostCount = 5;
        ASSERT_TRUE(m_service.start(options)) << m_service.errorString().toStdString();
        m_client = std::make_unique<HttpTestClient>(m_service.caFile());
    }

    QString url(const char* path, int host = 0) const {
        return m_service.baseUrls().at(host) + QLatin1String(path);
    }

    // Opens a session on the given host and remembers its CSRF token.
    void openSession(int host = 0) {
        const auto response = m_client->get(url("/v1/app_init_session", host));
        ASSERT_EQ(response.status, 200);
        m_csrf = QString::fromStdString(response.field("csrftoken"));
    }

    HttpTestClient::Response call(const char* path, Form form = {}, int host = 0) {
        form.prepend({QStringLiteral("csrfmiddlewaretoken"), m_csrf});
        return m_client->post(url(path, host), form);
    }

    HttpTestClient::Response signIn(const QString& password = QStringLiteral("demo-pass")) {
        return call("/v1/app_session_key",
                    {{"login_email", "demo@orvel.test"},
                     {"login_password", password},
                     {"app_version", "2.1.0"},
                     {"device_type", "MacOS"},
                     {"device_uuid", "6F9619FF-8B86-D011-B42D-00C04FC964FF"}});
    }

    QTemporaryDir m_dir;
    TestService m_service;
    std::unique_ptr<HttpTestClient> m_client;
    QString m_csrf;
};

TEST_F(TestServiceTest, Start_GivesOneDistinctLoopbackEndpointPerHost) {
    const QStringList urls = m_service.baseUrls();
    ASSERT_EQ(urls.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(urls[i].startsWith(QStringLiteral("https://127.0.0.%1:").arg(i + 1)));
    EXPECT_TRUE(m_service.packageUrl().startsWith(QLatin1String("http://127.0.0.1:")));
    EXPECT_TRUE(QFile::exists(m_service.caFile()));
}

TEST_F(TestServiceTest, Start_RefusesMoreHostsThanTheCertificateNames) {
    TestService other;
    TestService::Options options;
    options.stateDir = m_dir.path();
    options.hostCount = 10;
    EXPECT_FALSE(other.start(options));
}

TEST_F(TestServiceTest, InitSession_IssuesFreshTokensInBodyAndCookies) {
    const auto first = m_client->get(url("/v1/app_init_session"));
    const auto second = m_client->get(url("/v1/app_init_session"));
    ASSERT_EQ(first.status, 200);
    EXPECT_GE(first.field("csrftoken").size(), 32u);
    EXPECT_NE(first.field("csrftoken"), second.field("csrftoken"));
    EXPECT_NE(first.field("sessionid"), second.field("sessionid"));

    QMap<QString, QString> cookies;
    for (const QNetworkCookie& cookie : m_client->cookies().cookiesForUrl(QUrl(url("/v1/x"))))
        cookies.insert(QString::fromUtf8(cookie.name()), QString::fromUtf8(cookie.value()));
    EXPECT_EQ(cookies.value("csrftoken").toStdString(), second.field("csrftoken"));
    EXPECT_EQ(cookies.value("sessionid").toStdString(), second.field("sessionid"));
}

TEST_F(TestServiceTest, SessionCheck_RefusesMissingCookieAndWrongToken) {
    HttpTestClient stranger(m_service.caFile());
    const auto noCookie = stranger.post(url("/v1/app_osx_version"),
                                        {{"csrfmiddlewaretoken", "x"}, {"version_code", "2.1.0"}});
    EXPECT_EQ(noCookie.status, 403);
    EXPECT_EQ(noCookie.field("result"), "403");
    EXPECT_EQ(noCookie.field("detail"), "session");

    openSession();
    const auto wrongToken = m_client->post(
        url("/v1/app_osx_version"), {{"csrfmiddlewaretoken", "wrong"}, {"version_code", "2.1.0"}});
    EXPECT_EQ(wrongToken.status, 403);

    const auto right = call("/v1/app_osx_version", {{"version_code", "2.1.0"}});
    EXPECT_EQ(right.status, 200);
    EXPECT_EQ(right.field("result"), "200");
    EXPECT_EQ(right.field("version_code"), "2.1.0");
}

TEST_F(TestServiceTest, SessionCheck_OffAcceptsRequestsWithoutSession) {
    m_service.scenario().enforceSession = false;
    HttpTestClient stranger(m_service.caFile());
    EXPECT_EQ(stranger.post(url("/v1/app_osx_version"), {{"version_code", "1"}}).field("result"),
              "200");
}

TEST_F(TestServiceTest, Login_SucceedsOnlyWithTheAccountPassword) {
    openSession();
    const auto wrong = signIn(QStringLiteral("nope"));
    EXPECT_EQ(wrong.field("result"), "600");
    // Without a sign-in the account's operations answer "session no longer valid".
    EXPECT_EQ(call("/v1/app_new_server_list").field("result"), "400");

    const auto right = signIn();
    ASSERT_EQ(right.field("result"), "200");
    const auto notices = right.json()["user_notice"];
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0]["id"], 1);
    EXPECT_TRUE(notices[0]["content_ko"].is_string());
    EXPECT_TRUE(right.json()["common_notice"].is_array());

    const auto list = call("/v1/app_new_server_list").json();
    EXPECT_EQ(list["result"], "200");
    ASSERT_EQ(list["data"].size(), 5u);
    EXPECT_TRUE(list["data"][0]["is_active"].is_boolean());
    EXPECT_EQ(list["data"][4]["is_status"], false);
}

TEST_F(TestServiceTest, Login_FormDecodingTurnsPlusIntoSpace) {
    m_service.scenario().accounts[0].password = QStringLiteral("a+b c");
    openSession();
    EXPECT_EQ(signIn(QStringLiteral("a+b c")).field("result"), "200");
    const auto raw = m_client->post(url("/v1/app_session_key"), {{"csrfmiddlewaretoken", m_csrf},
                                                                 {"login_email", "demo@orvel.test"},
                                                                 {"login_password", "a b c"}});
    EXPECT_EQ(raw.field("result"), "600");
}

TEST_F(TestServiceTest, ResultOverride_ReplacesResultAndKeepsTheRest) {
    m_service.scenario().resultOverrides.insert("/v1/app_session_key", "300");
    openSession();
    const auto reply = signIn();
    EXPECT_EQ(reply.field("result"), "300");
    EXPECT_TRUE(reply.json()["user_notice"].is_array());
    // An overridden sign-in does not sign in.
    EXPECT_EQ(call("/v1/app_new_server_list").field("result"), "400");
}

TEST_F(TestServiceTest, CheckServer_AnswersSmartMatchNamedServerAndMaintenance) {
    openSession();
    ASSERT_EQ(signIn().field("result"), "200");

    const auto automatic =
        call("/v1/app_new_check_server", {{"server_name", ""}, {"server_protocol", "OPENVPN"}});
    EXPECT_EQ(automatic.field("result"), "200");
    EXPECT_EQ(automatic.field("vpn_username"), "vpnuser");
    EXPECT_EQ(automatic.field("vpn_password"), "vpn-pass");
    EXPECT_EQ(automatic.field("vpn_smart_match_hostname"), "127.0.1.1");
    EXPECT_NE(automatic.field("vpn_smart_match_config").find("\r\n"), std::string::npos);

    const auto named = call("/v1/app_new_check_server",
                            {{"server_name", "127.0.1.2"}, {"server_protocol", "IKEV2"}});
    EXPECT_EQ(named.field("result"), "1001");
    EXPECT_EQ(named.field("vpn_smart_match_name"), "Tokyo 1");
    EXPECT_EQ(named.field("vpn_smart_match_country"), "JP");

    EXPECT_EQ(call("/v1/app_new_check_server",
                   {{"server_name", "127.0.1.5"}, {"server_protocol", "IKEV2"}})
                  .field("result"),
              "1002");

    m_service.scenario().smartMatch.insert("IKEV2", {"Chosen", "127.0.1.9", "US", ""});
    EXPECT_EQ(call("/v1/app_new_check_server", {{"server_name", ""}, {"server_protocol", "IKEV2"}})
                  .field("vpn_smart_match_name"),
              "Chosen");

    m_service.scenario().accounts[0].expiresInSeconds = -60;
    EXPECT_EQ(call("/v1/app_new_check_server", {{"server_name", ""}, {"server_protocol", "IKEV2"}})
                  .field("result"),
              "300");
}

TEST_F(TestServiceTest, StableAndReport_AnswerFromScenario) {
    openSession();
    ASSERT_EQ(signIn().field("result"), "200");
    const Form fields = {{"telecom", "EM"},          {"server_name", "Seoul 1"},
                         {"server_ip", "127.0.1.1"}, {"platform", "macOS"},
                         {"device", "macOS 14"},     {"app_version", "2.1.0"},
                         {"protocol", "IKEV2"}};
    const auto stable = call("/v1/app_stable_server", fields).json();
    EXPECT_EQ(stable["result"], "200");
    ASSERT_EQ(stable["data"].size(), 2u);
    EXPECT_EQ(stable["data"][0]["protocol"], "IKEV2");
    EXPECT_EQ(call("/v1/app_report_failed_server", fields).field("result"), "200");
    const auto reports = m_service.requests("/v1/app_report_failed_server");
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports[0].form.value("server_ip"), "127.0.1.1");
}

TEST_F(TestServiceTest, UserInfo_GivesAccountAndExpiryAndRejectsFields) {
    openSession();
    ASSERT_EQ(signIn().field("result"), "200");
    const QDateTime before = QDateTime::currentDateTime();
    const auto info = m_client->post(url("/v1/app_get_userinfo"), {});
    EXPECT_EQ(info.field("email"), "demo@orvel.test");
    EXPECT_EQ(info.field("product_name"), "Orvel Premium 30 days");
    const QDateTime expiry = QDateTime::fromString(QString::fromStdString(info.field("info_value")),
                                                   "yyyy-MM-dd HH:mm:ss");
    ASSERT_TRUE(expiry.isValid());
    const qint64 ahead = before.secsTo(expiry);
    EXPECT_GE(ahead, 432600 - 2);
    EXPECT_LE(ahead, 432600 + 2);

    m_service.scenario().accounts[0].expiry = QStringLiteral("2030-01-02 03:04:05");
    EXPECT_EQ(m_client->post(url("/v1/app_get_userinfo"), {}).field("info_value"),
              "2030-01-02 03:04:05");

    m_service.scenario().accounts[0].expiry.clear();
    m_service.scenario().accounts[0].expiresInSeconds.reset();
    EXPECT_EQ(m_client->post(url("/v1/app_get_userinfo"), {}).field("info_value"), "");

    const auto withFields = call("/v1/app_get_userinfo");
    EXPECT_EQ(withFields.status, 400);
    EXPECT_EQ(m_service.requests("/v1/app_get_userinfo").size(), 4);
}

TEST_F(TestServiceTest, ChangePassword_NeedsThePreviousPassword) {
    openSession();
    ASSERT_EQ(signIn().field("result"), "200");
    EXPECT_EQ(call("/v1/app_change_password",
                   {{"user_privious_password", "bad"}, {"user_new_password", "new-pass"}})
                  .field("result"),
              "500");
    EXPECT_EQ(call("/v1/app_change_password",
                   {{"user_privious_password", "demo-pass"}, {"user_new_password", "new-pass"}})
                  .field("result"),
              "200");
    EXPECT_EQ(signIn().field("result"), "600");
    EXPECT_EQ(signIn(QStringLiteral("new-pass")).field("result"), "200");
}

TEST_F(TestServiceTest, Faults_AreSeenByTheClientAsTheirKind) {
    openSession();
    // Qt resends once by itself when a reused connection closes unanswered, so a drop
    // meant to be seen must outlast that resend.
    m_service.setFault("/v1/app_osx_version", Fault{Fault::Kind::Drop, 0, {}, -1});
    const auto dropped = call("/v1/app_osx_version", {{"version_code", "1"}});
    EXPECT_EQ(dropped.status, 0);
    EXPECT_NE(dropped.error, QNetworkReply::NoError);

    m_service.setFault("/v1/app_osx_version", Fault{Fault::Kind::Html, 0, {}, 1});
    const auto html = call("/v1/app_osx_version", {{"version_code", "1"}});
    EXPECT_EQ(html.status, 502);
    EXPECT_TRUE(html.json().is_discarded());
    EXPECT_TRUE(html.body.contains("<html>"));

    m_service.setFault("/v1/app_osx_version", Fault{Fault::Kind::Http500Json, 0, {}, 1});
    const auto json500 = call("/v1/app_osx_version", {{"version_code", "1"}});
    EXPECT_EQ(json500.status, 500);
    EXPECT_EQ(json500.field("result"), "500");

    m_service.setFault("/v1/app_osx_version", Fault{Fault::Kind::Delay, 400, {}, 1});
    const auto delayed = call("/v1/app_osx_version", {{"version_code", "1"}});
    EXPECT_GE(delayed.elapsedMs, 390);
    EXPECT_EQ(delayed.field("result"), "200");

    // Each fault after the drop was for one answer only.
    const auto normal = call("/v1/app_osx_version", {{"version_code", "1"}});
    EXPECT_EQ(normal.field("result"), "200");
    EXPECT_LT(normal.elapsedMs, 390);
}

TEST_F(TestServiceTest, Faults_HostFilterAndWildcardSpoilOnlyTheirHosts) {
    m_service.scenario().enforceSession = false;
    m_service.setFault("*", Fault{Fault::Kind::Drop, 0, {0}, -1});
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(m_client->post(url("/v1/app_osx_version", 0), {}).status, 0);
        EXPECT_EQ(m_client->post(url("/v1/app_osx_version", 1), {}).field("result"), "200");
    }
    m_service.clearFaults();
    EXPECT_EQ(m_client->post(url("/v1/app_osx_version", 0), {}).field("result"), "200");
}

TEST_F(TestServiceTest, RequestLog_RecordsPathHostFormAndCookies) {
    QSignalSpy spy(&m_service, &TestService::requestReceived);
    openSession(2);
    call("/v1/app_osx_version", {{"version_code", "2.1.0"}}, 2);
    ASSERT_EQ(spy.count(), 2);

    const QList<LoggedRequest> log = m_service.requests();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].path, "/v1/app_init_session");
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_TRUE(log[0].form.isEmpty());
    EXPECT_TRUE(log[0].cookies.isEmpty());
    EXPECT_EQ(log[1].path, "/v1/app_osx_version");
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[1].hostIndex, 2);
    EXPECT_EQ(log[1].form.value("version_code"), "2.1.0");
    EXPECT_EQ(log[1].form.value("csrfmiddlewaretoken"), m_csrf);
    EXPECT_EQ(log[1].cookies.value("csrftoken"), m_csrf);
    EXPECT_FALSE(log[1].cookies.value("sessionid").isEmpty());
    EXPECT_EQ(spy.at(1).at(0).value<LoggedRequest>().path, "/v1/app_osx_version");

    m_service.clearRequests();
    EXPECT_TRUE(m_service.requests().isEmpty());
}

TEST_F(TestServiceTest, Tls_ClientWithoutTheCaFailsTheHandshake) {
    HttpTestClient untrusting;
    const auto response = untrusting.get(url("/v1/app_init_session"));
    EXPECT_EQ(response.status, 0);
    EXPECT_EQ(response.error, QNetworkReply::SslHandshakeFailedError);
    EXPECT_TRUE(m_service.requests().isEmpty());
}

TEST_F(TestServiceTest, Package_IsServedOverPlainHttpAndCanFail) {
    HttpTestClient plain;
    const auto package = plain.get(m_service.packageUrl());
    EXPECT_EQ(package.status, 200);
    EXPECT_TRUE(package.body.startsWith("PK\x03\x04"));
    ASSERT_EQ(m_service.requests().size(), 1);
    EXPECT_EQ(m_service.requests()[0].hostIndex, -1);

    m_service.setFault("/users/client/api/app/mac/files/settings.zip",
                       Fault{Fault::Kind::Html, 0, {}, 1});
    const auto failed = plain.get(m_service.packageUrl());
    EXPECT_EQ(failed.status, 500);
    EXPECT_TRUE(failed.body.contains("<html>"));
}

TEST_F(TestServiceTest, ControlApi_ChangesFaultsScenarioAndLog) {
    HttpTestClient control;
    const QString base = m_service.controlUrl();

    ASSERT_EQ(control
                  .postRaw(base + "/scenario", R"({"enforceSession": false,
        "version": {"result": "300", "versionCode": "9.9.9"}})")
                  .status,
              200);
    const auto version = m_client->post(url("/v1/app_osx_version"), {{"version_code", "9"}});
    EXPECT_EQ(version.field("result"), "300");
    EXPECT_EQ(version.field("version_code"), "9.9.9");

    const auto log = control.get(base + "/requests").json();
    ASSERT_TRUE(log.is_array());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0]["path"], "/v1/app_osx_version");
    EXPECT_EQ(log[0]["hostIndex"], 0);
    EXPECT_EQ(log[0]["form"]["version_code"], "9");

    ASSERT_EQ(
        control
            .postRaw(base + "/fault", R"({"path": "/v1/app_osx_version", "kind": "http500json"})")
            .status,
        200);
    EXPECT_EQ(m_client->post(url("/v1/app_osx_version"), {}).status, 500);
    ASSERT_EQ(control.postRaw(base + "/clear-faults", {}).status, 200);
    EXPECT_EQ(m_client->post(url("/v1/app_osx_version"), {}).status, 200);

    ASSERT_EQ(control.postRaw(base + "/reset-log", {}).status, 200);
    EXPECT_TRUE(m_service.requests().isEmpty());

    const auto bad = control.postRaw(base + "/scenario", R"({"acounts": []})");
    EXPECT_EQ(bad.status, 400);
    EXPECT_NE(bad.field("error").find("acounts"), std::string::npos);
    EXPECT_EQ(control.postRaw(base + "/fault", R"({"path": "/x", "kind": "explode"})").status, 400);
}

} // namespace
