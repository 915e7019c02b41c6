#include "api/ApiHosts.h"

#include "core/AppState.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

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
