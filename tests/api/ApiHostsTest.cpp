#include "api/ApiHosts.h"

#include "core/AppState.h"
#include "support/TestEnvironment.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

class ApiHostsTest : public OrvelTest {
protected:
    void TearDown() override { overrideApiHostTable(defaultApiHostTable()); }
};

TEST_F(ApiHostsTest, DefaultTable_HasFiveHttpsAddressesOfTheFixedLengths) {
    const QStringList table = defaultApiHostTable();
    ASSERT_EQ(table.size(), 5);
    const int lengths[] = {21, 26, 26, 23, 19};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(table.at(i).size(), lengths[i]) << table.at(i).toStdString();
        const QUrl url(table.at(i));
        EXPECT_EQ(url.scheme(), QStringLiteral("https"));
        EXPECT_TRUE(url.path().isEmpty());
        EXPECT_FALSE(table.at(i).endsWith(QLatin1Char('/')));
    }
    EXPECT_EQ(QSet<QString>(table.begin(), table.end()).size(), 5);
}

TEST_F(ApiHostsTest, FreshState_StartsOnTheDefaultHost) {
    EXPECT_EQ(appState().apiHostIndex, 0);
    EXPECT_EQ(appState().apiBaseURL, apiHostTable().at(0));
}

TEST_F(ApiHostsTest, SwitchApiHost_MovesDefaultThenOneToFourThenBackToOne) {
    QList<int> visited;
    for (int i = 0; i < 9; ++i) {
        switchApiHost();
        visited << apiHostTable().indexOf(appState().apiBaseURL);
    }
    EXPECT_EQ(visited, (QList<int>{1, 2, 3, 4, 1, 2, 3, 4, 1}));
}

TEST_F(ApiHostsTest, SelectApiBaseURL_IndexOutsideOneToFourSelectsDefault) {
    for (int index : {0, -1, 5, 42}) {
        appState().apiHostIndex = index;
        selectApiBaseURL();
        EXPECT_EQ(appState().apiBaseURL, apiHostTable().at(0)) << index;
    }
    appState().apiHostIndex = 3;
    selectApiBaseURL();
    EXPECT_EQ(appState().apiBaseURL, apiHostTable().at(3));
}

TEST_F(ApiHostsTest, OverrideApiHostTable_RefusesAnythingButFiveHttpsAddresses) {
    EXPECT_FALSE(overrideApiHostTable({QStringLiteral("https://a.test")}));
    QStringList plainHttp(5, QStringLiteral("http://a.test"));
    EXPECT_FALSE(overrideApiHostTable(plainHttp));
    QStringList hosts;
    for (int i = 1; i <= 5; ++i)
        hosts << QStringLiteral("https://127.0.0.%1:8443").arg(i);
    EXPECT_TRUE(overrideApiHostTable(hosts));
    EXPECT_EQ(appState().apiBaseURL, hosts.at(0));
}

TEST_F(ApiHostsTest, CookieDomain_IsTheHostNameOfTheAddress) {
    EXPECT_EQ(cookieDomainOf(QStringLiteral("https://api.orvel.net")),
              QStringLiteral("api.orvel.net"));
    EXPECT_EQ(cookieDomainOf(QStringLiteral("https://127.0.0.2:9443")),
              QStringLiteral("127.0.0.2"));
    EXPECT_EQ(cookieDomainOf(QStringLiteral("nonsense")), QString());
}

TEST_F(ApiHostsTest, SetSessionCookies_StoresBothTokensForTheCurrentHost) {
    appState().csrfToken = QStringLiteral("csrf-value");
    appState().sessionId = QStringLiteral("session-value");
    QNetworkCookieJar jar;
    setSessionCookies(jar, cookieDomainOf(appState().apiBaseURL));

    QMap<QByteArray, QByteArray> sent;
    for (const QNetworkCookie& cookie : jar.cookiesForUrl(QUrl(appState().apiBaseURL + "/v1/x")))
        sent.insert(cookie.name(), cookie.value());
    EXPECT_EQ(sent.value("csrftoken"), QByteArray("csrf-value"));
    EXPECT_EQ(sent.value("sessionid"), QByteArray("session-value"));
}
