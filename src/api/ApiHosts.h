#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QStringList>

class QNetworkCookieJar;

// The five base addresses of the service, in the order failures move through them.
const QStringList& apiHostTable();
QStringList defaultApiHostTable();

// Replaces the table for a deployment or a test run; refused unless exactly five
// https addresses are given. Also re-selects apiBaseURL.
bool overrideApiHostTable(const QStringList& hosts);

void selectApiBaseURL();
void switchApiHost();

// The host name a screen keeps as its cookie domain: the address split at "/", empty
// pieces dropped, second piece taken.
QString cookieDomainOf(const QString& baseUrl);

// Puts the csrftoken/sessionid pair into the shared jar for apiBaseURL.
void setSessionCookies(QNetworkCookieJar& jar, const QString& domain);
// The two session cookies for domain, as setSessionCookies sets them from these values.
QList<QNetworkCookie> sessionCookies(const QString& domain, const QString& csrfToken,
                                     const QString& sessionId);
