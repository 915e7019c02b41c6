#include "support/ServiceFixture.h"

#include "api/ApiClient.h"
#include "api/ApiHosts.h"
#include "core/AppState.h"
#include "core/Services.h"

void ServiceTest::SetUp() {
    m_service = std::make_unique<TestService>();
    TestService::Options options;
    options.stateDir = tempPath() + QStringLiteral("/service");
    ASSERT_TRUE(m_service->start(options)) << m_service->errorString().toStdString();
    ASSERT_TRUE(overrideApiHostTable(m_service->baseUrls()));
    m_api = std::make_unique<ApiClient>();
    ASSERT_TRUE(m_api->addTrustedCaFile(m_service->caFile()));
    services().api = m_api.get();
}

void ServiceTest::TearDown() {
    services().api = nullptr;
    m_api.reset();
    m_service.reset();
    overrideApiHostTable(defaultApiHostTable());
}

void ServiceTest::openSession() {
    bool done = false;
    m_api->send(QString::fromLatin1(ApiPath::initSession), {}, [&](const ApiReply& reply) {
        appState().csrfToken = reply.text("csrftoken");
        appState().sessionId = reply.text("sessionid");
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    setSessionCookies(m_api->cookieJar(), cookieDomainOf(appState().apiBaseURL));
}

void ServiceTest::signIn() {
    openSession();
    const ScenarioAccount& account = m_service->scenario().accounts.first();
    bool done = false;
    m_api->send(
        QString::fromLatin1(ApiPath::sessionKey),
        [&] {
            return ApiFields{{QStringLiteral("login_email"), account.email},
                             {QStringLiteral("login_password"), account.password},
                             {QStringLiteral("app_version"), QStringLiteral("2.1.0")},
                             {QStringLiteral("device_type"), QStringLiteral("MacOS")},
                             {QStringLiteral("device_uuid"), QStringLiteral("TEST")}};
        },
        [&](const ApiReply& reply) {
            ASSERT_EQ(reply.text("result"), QStringLiteral("200"));
            done = true;
        });
    ASSERT_TRUE(waitUntil([&] { return done; }));
}

QList<int> ServiceTest::hostsVisited(const QString& path) const {
    QList<int> hosts;
    for (const LoggedRequest& request : m_service->requests(path)) {
        if (hosts.isEmpty() || hosts.last() != request.hostIndex)
            hosts << request.hostIndex;
    }
    return hosts;
}
