#include "api/ApiHosts.h"

#include "app/AppState.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

namespace {
QStringList& table() {
    static QStringList hosts = defaultApiHostTable();
    return hosts;
}
} // namespace

QStringList defaultApiHostTable() {
    return {QStringLiteral("https://api.orvel.net"), QStringLiteral("https://api-1.orvelvpn.com"),
            QStringLiteral("https://api-2.orvelvpn.com"), QStringLiteral("https://api3.orvel.info"),
            QStringLiteral("https://orvel.cloud")};
}

const QStringList& apiHostTable() {
    return table();
}

bool overrideApiHostTable(const QStringList& hosts) {
    if (hosts.size() != 5)
        return false;
    for (const QString& host : hosts) {
        const QUrl url(host);
        if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
            return false;
    }
    table() = hosts;
    selectApiBaseURL();
    return true;
}

void selectApiBaseURL() {
    AppState& state = appState();
    const int index = state.apiHostIndex;
    state.apiBaseURL = (index >= 1 && index <= 4) ? table().at(index) : table().at(0);
}

void switchApiHost() {
    AppState& state = appState();
    if (state.apiHostIndex == 4)
        state.apiHostIndex = 0;
    state.apiHostIndex += 1;
    selectApiBaseURL();
}

QString cookieDomainOf(const QString& baseUrl) {
    const QStringList pieces = baseUrl.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return {};
    // A deployment address with a port would give "host:port", which no cookie accepts.
    const QUrl authority(QStringLiteral("//") + pieces.at(1));
    return authority.port() != -1 ? authority.host() : pieces.at(1);
}

QList<QNetworkCookie> sessionCookies(const QString& domain, const QString& csrfToken,
                                     const QString& sessionId) {
    QList<QNetworkCookie> cookies;
    for (const auto& [name, value] :
         {std::pair{"csrftoken", csrfToken}, std::pair{"sessionid", sessionId}}) {
        QNetworkCookie cookie(QByteArray(name), value.toUtf8());
        cookie.setDomain(domain);
        cookie.setPath(QStringLiteral("/"));
        cookies << cookie;
    }
    return cookies;
}

void setSessionCookies(QNetworkCookieJar& jar, const QString& domain) {
    const AppState& state = appState();
    jar.setCookiesFromUrl(sessionCookies(domain, state.csrfToken, state.sessionId),
                          QUrl(state.apiBaseURL));
}
