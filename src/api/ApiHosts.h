#pragma once

#include "core/ApiHostTable.h"

#include <QList>
#include <QNetworkCookie>
#include <QString>

class QNetworkCookieJar;

void switchApiHost();

// The host name a screen keeps as its cookie domain: the address split at "/", empty
// pieces dropped, second piece taken.
QString cookieDomainOf(const QString& baseUrl);

// Puts the csrftoken/sessionid pair into the shared jar for apiBaseURL.
void setSessionCookies(QNetworkCookieJar& jar, const QString& domain);
// The two session cookies for domain, as setSessionCookies sets them from these values.
QList<QNetworkCookie> sessionCookies(const QString& domain, const QString& csrfToken,
                                     const QString& sessionId);
