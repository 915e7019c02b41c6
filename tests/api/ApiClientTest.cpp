#include "api/ApiClient.h"

#include "api/ApiHosts.h"
#include "core/AppState.h"
#include "support/ServiceFixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {
const QString kVersionPath = QString::fromLatin1(ApiPath::osxVersion);

Fault fault(Fault::Kind kind, QSet<int> hosts = {}, int remaining = -1) {
    Fault f;
    f.kind = kind;
    f.hosts = std::move(hosts);
    f.remaining = remaining;
    return f;
}
} // namespace

class ApiClientTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        // Session cookies are per host; rotation tests talk to every host.
        service().scenario().enforceSession = false;
    }

    // Sends the version check and waits for the one reply it must get.
    ApiReply versionCheck() {
        int replies = 0;
        ApiReply last;
        api().send(
            kVersionPath,
            [] {
                return ApiFields{{QStringLiteral("version_code"), QStringLiteral("2.1.0")}};
            },
            [&](const ApiReply& reply) {
                ++replies;
                last = reply;
            });
        EXPECT_TRUE(waitUntil([&] { return replies > 0; }, 20000));
        QTest::qWait(50);
        EXPECT_EQ(replies, 1);
        return last;
    }
};

TEST_F(ApiClientTest, RepeatedFailures_VisitDefaultThenOneToFourThenOne) {
    service().setFault(kVersionPath, fault(Fault::Kind::Html, {0, 1, 2, 3, 4}, 6));
    const ApiReply reply = versionCheck();
    EXPECT_EQ(reply.text("result"), QStringLiteral("200"));
    EXPECT_EQ(hostsVisited(kVersionPath), (QList<int>{0, 1, 2, 3, 4, 1, 2}));
    EXPECT_EQ(appState().apiHostIndex, 2);
    // The first good reply ends the back-off.
    EXPECT_EQ(api().currentBackoffMs(), 0);
}

TEST_F(ApiClientTest, DroppedConnection_IsAFailureAndMovesOn) {
    service().setFault(kVersionPath, fault(Fault::Kind::Drop, {0}));
    EXPECT_EQ(versionCheck().text("result"), QStringLiteral("200"));
    EXPECT_EQ(hostsVisited(kVersionPath), (QList<int>{0, 1}));
}

// An HTML error page, a body nested beyond the bound and one that never ends are no
// replies: each moves to the next host.
TEST_F(ApiClientTest, BodiesThatAreNoReply_AreFailuresAndGoToTheNextHost) {
    for (const Fault::Kind kind : {Fault::Kind::Html, Fault::Kind::Deep, Fault::Kind::Huge}) {
        resetAppState();
        service().clearRequests();
        service().setFault(kVersionPath, fault(kind, {0}));
        const QString name = Fault::kindName(kind);
        EXPECT_EQ(versionCheck().text("result"), QStringLiteral("200")) << name.toStdString();
        EXPECT_EQ(hostsVisited(kVersionPath), (QList<int>{0, 1})) << name.toStdString();
    }
    // The endless body was cut off while it came in, not buffered to its end.
    EXPECT_GT(service().hugeBodyBytes(), ApiReply::maxBodyBytes);
    EXPECT_LT(service().hugeBodyBytes(), 2 * ApiReply::maxBodyBytes);
}

TEST_F(ApiClientTest, Http500WithJsonBody_IsHandledAsAReplyWithoutRetry) {
    service().setFault(kVersionPath, fault(Fault::Kind::Http500Json));
    EXPECT_EQ(versionCheck().text("result"), QStringLiteral("500"));
    EXPECT_EQ(service().requests(kVersionPath).size(), 1);
    EXPECT_EQ(appState().apiHostIndex, 0);
}

TEST_F(ApiClientTest, SessionCookiesAndToken_ReachTheService) {
    service().scenario().enforceSession = true;
    openSession();
    EXPECT_FALSE(appState().csrfToken.isEmpty());
    EXPECT_EQ(versionCheck().text("result"), QStringLiteral("200"));
    const LoggedRequest sent = service().requests(kVersionPath).last();
    EXPECT_EQ(sent.cookies.value(QStringLiteral("csrftoken")), appState().csrfToken);
    EXPECT_EQ(sent.cookies.value(QStringLiteral("sessionid")), appState().sessionId);
    EXPECT_EQ(sent.form.value(QStringLiteral("csrfmiddlewaretoken")), appState().csrfToken);
}

TEST_F(ApiClientTest, InitSessionAndUserInfoCarryNoParameters_OthersCarryTheToken) {
    appState().csrfToken = QStringLiteral("tok\"en&=+");
    int replies = 0;
    const auto count = [&](const ApiReply&) { ++replies; };
    api().send(QString::fromLatin1(ApiPath::initSession), {}, count);
    api().send(QString::fromLatin1(ApiPath::getUserInfo), {}, count);
    api().send(QString::fromLatin1(ApiPath::newServerList), {}, count);
    ASSERT_TRUE(waitUntil([&] { return replies == 3; }));

    const LoggedRequest init = service().requests(QString::fromLatin1(ApiPath::initSession)).last();
    EXPECT_EQ(init.method, QStringLiteral("GET"));
    EXPECT_TRUE(init.form.isEmpty());
    const LoggedRequest info = service().requests(QString::fromLatin1(ApiPath::getUserInfo)).last();
    EXPECT_EQ(info.method, QStringLiteral("POST"));
    EXPECT_TRUE(info.form.isEmpty());
    const LoggedRequest list =
        service().requests(QString::fromLatin1(ApiPath::newServerList)).last();
    EXPECT_EQ(list.form, (QMap<QString, QString>{{"csrfmiddlewaretoken", "tok\"en&=+"}}));
}

TEST_F(ApiClientTest, Resend_ReadsTheFieldsAfresh) {
    service().setFault(kVersionPath, fault(Fault::Kind::Html, {0}));
    int attempt = 0;
    bool replied = false;
    api().send(
        kVersionPath,
        [&] {
            return ApiFields{{QStringLiteral("version_code"), QString::number(++attempt)}};
        },
        [&](const ApiReply&) { replied = true; });
    ASSERT_TRUE(waitUntil([&] { return replied; }));
    const auto sent = service().requests(kVersionPath);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent.at(0).form.value(QStringLiteral("version_code")), QStringLiteral("1"));
    EXPECT_EQ(sent.at(1).form.value(QStringLiteral("version_code")), QStringLiteral("2"));
}

TEST_F(ApiClientTest, RetryClosure_ReplacesThePlainResend) {
    service().setFault(kVersionPath, fault(Fault::Kind::Html, {0}, 1));
    int retries = 0;
    api().send(
        kVersionPath, {}, [](const ApiReply&) {}, [&] { ++retries; });
    ASSERT_TRUE(waitUntil([&] { return retries == 1; }));
    QTest::qWait(100);
    EXPECT_EQ(service().requests(kVersionPath).size(), 1);
    EXPECT_EQ(appState().apiHostIndex, 1);
}

TEST_F(ApiClientTest, SentAhead_TakenOnceAndAFailureRetriesLikeAnyOther) {
    const QString path = QString::fromLatin1(ApiPath::initSession);
    service().setFault(path, fault(Fault::Kind::Html, {0}, 1));
    api().sendAhead(path);
    ASSERT_TRUE(waitUntil([&] { return !service().requests(path).isEmpty(); }));
    QTest::qWait(50); // answered before anyone asks for it
    int replies = 0;
    api().send(path, {}, [&](const ApiReply& reply) {
        ++replies;
        EXPECT_FALSE(reply.text("csrftoken").isEmpty());
    });
    ASSERT_TRUE(waitUntil([&] { return replies > 0; }));
    QTest::qWait(50);
    EXPECT_EQ(replies, 1);
    EXPECT_EQ(hostsVisited(path), (QList<int>{0, 1}));
}

// The follow-up is taken only when it is the very request the step sends; otherwise the
// step's own goes out and only its reply is handed over.
TEST_F(ApiClientTest, FollowUp_TakenOnlyWhenItIsTheRequestTheStepSends) {
    const QString session = QString::fromLatin1(ApiPath::initSession);
    for (const QString& aheadVersion : {QStringLiteral("2.1.0"), QStringLiteral("0.0.1")}) {
        service().clearRequests();
        api().sendAhead(session, [aheadVersion](const ApiReply& reply) {
            return std::optional(
                ApiClient::FollowUp{kVersionPath,
                                    {{QStringLiteral("version_code"), aheadVersion}},
                                    reply.text("csrftoken"),
                                    {}});
        });
        ASSERT_TRUE(waitUntil([&] { return !service().requests(kVersionPath).isEmpty(); }));
        bool sessionReplied = false;
        api().send(session, {}, [&](const ApiReply& reply) {
            appState().csrfToken = reply.text("csrftoken");
            sessionReplied = true;
        });
        ASSERT_TRUE(waitUntil([&] { return sessionReplied; }));
        versionCheck();
        const QList<LoggedRequest> sent = service().requests(kVersionPath);
        EXPECT_EQ(sent.size(), aheadVersion == QLatin1String("2.1.0") ? 1 : 2)
            << aheadVersion.toStdString();
        EXPECT_EQ(service().requests(session).size(), 1);
    }
}

TEST_F(ApiClientTest, UntrustedCertificate_IsAFailure) {
    ApiClient untrusting;
    QSignalSpy failures(&untrusting, &ApiClient::requestFailed);
    untrusting.send(
        kVersionPath, {}, [](const ApiReply&) { FAIL() << "no reply expected"; }, [] {});
    ASSERT_TRUE(waitUntil([&] { return failures.count() == 1; }));
    EXPECT_TRUE(service().requests(kVersionPath).isEmpty());
}

TEST(ApiClientBackoffTest, UnreachableService_BacksOffInsteadOfSpinning) {
    resetAppState();
    QStringList closedPorts;
    for (int i = 0; i < 5; ++i) {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPorts << QStringLiteral("https://127.0.0.1:%1").arg(probe.serverPort());
    }
    ASSERT_TRUE(overrideApiHostTable(closedPorts));
    ApiClient api;
    QSignalSpy failures(&api, &ApiClient::requestFailed);
    api.send(kVersionPath, {}, [](const ApiReply&) {});
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(3000);
    // Without a pause this loop makes thousands of attempts in three seconds.
    EXPECT_GE(failures.count(), 5);
    EXPECT_LE(failures.count(), 12);
    EXPECT_GT(api.currentBackoffMs(), 0);
    EXPECT_LE(api.currentBackoffMs(), 4000);
    overrideApiHostTable(defaultApiHostTable());
}
