#pragma once

#include "HttpReply.h"
#include "Scenario.h"

#include <QHash>
#include <QMap>
#include <QString>

// The /v1/ operations: sessions, sign-in and the answers drawn from the scenario.
// Knows nothing of sockets or faults.
class ServiceApi final {
public:
    explicit ServiceApi(Scenario& scenario) : m_scenario(scenario) {}

    static bool isApiPath(const QString& path);

    HttpReply handle(const QString& path, const QString& method, const QMap<QString, QString>& form,
                     const QMap<QString, QString>& cookies);

    void clearSessions() { m_sessions.clear(); }

private:
    struct Session {
        QString csrfToken;
        QString email; // signed-in account; empty before a successful sign-in
    };

    HttpReply initSession();
    Session* sessionFor(const QMap<QString, QString>& cookies);
    ScenarioAccount* signedInAccount(const Session& session);
    QString resultFor(const QString& path, const QString& natural) const;

    Scenario& m_scenario;
    QHash<QString, Session> m_sessions; // by session id
    Session m_anonymous;                // used when sessions are not enforced and none was sent
};
