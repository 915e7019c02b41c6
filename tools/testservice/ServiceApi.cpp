#include "ServiceApi.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <array>
#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

namespace {

const QString kInitSession = QStringLiteral("/v1/app_init_session");
const QString kVersion = QStringLiteral("/v1/app_osx_version");
const QString kSessionKey = QStringLiteral("/v1/app_session_key");
const QString kServerList = QStringLiteral("/v1/app_new_server_list");
const QString kCheckServer = QStringLiteral("/v1/app_new_check_server");
const QString kStableServer = QStringLiteral("/v1/app_stable_server");
const QString kReportFailed = QStringLiteral("/v1/app_report_failed_server");
const QString kUserInfo = QStringLiteral("/v1/app_get_userinfo");
const QString kChangePassword = QStringLiteral("/v1/app_change_password");

const std::array<const QString*, 9> kPaths = {&kInitSession,  &kVersion,     &kSessionKey,
                                              &kServerList,   &kCheckServer, &kStableServer,
                                              &kReportFailed, &kUserInfo,    &kChangePassword};

QString randomToken(int length) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString token;
    token.reserve(length);
    for (int i = 0; i < length; ++i)
        token.append(QLatin1Char(alphabet[QRandomGenerator::system()->bounded(62)]));
    return token;
}

std::string s(const QString& text) {
    return text.toStdString();
}

Json noticesJson(const QList<ScenarioNotice>& notices) {
    Json array = Json::array();
    for (const ScenarioNotice& notice : notices) {
        array.push_back({{"id", notice.id},
                         {"content_zh", s(notice.contentZh)},
                         {"content_en", s(notice.contentEn)},
                         {"content_ko", s(notice.contentKo)}});
    }
    return array;
}

Json serversJson(const QList<ScenarioServer>& servers) {
    Json array = Json::array();
    for (const ScenarioServer& server : servers) {
        array.push_back({{"protocol", s(server.protocol)},
                         {"name", s(server.name)},
                         {"hostdomain", s(server.hostdomain)},
                         {"hostip", s(server.hostip)},
                         {"country", s(server.country)},
                         {"pd_name", s(server.pdName)},
                         {"telecom", s(server.telecom)},
                         {"config", s(server.config)},
                         {"is_active", server.isActive},
                         {"is_status", server.isStatus}});
    }
    return array;
}

HttpReply reply(const Json& body, int status = 200) {
    return HttpReply::json(QByteArray::fromStdString(body.dump()), status);
}

} // namespace

bool ServiceApi::isApiPath(const QString& path) {
    for (const QString* known : kPaths) {
        if (*known == path)
            return true;
    }
    return false;
}

HttpReply ServiceApi::handle(const QString& path, const QString& method,
                             const QMap<QString, QString>& form,
                             const QMap<QString, QString>& cookies) {
    if (!isApiPath(path))
        return reply({{"result", "404"}, {"detail", "unknown operation"}}, 404);
    const QString expectedMethod =
        path == kInitSession ? QStringLiteral("GET") : QStringLiteral("POST");
    if (method != expectedMethod)
        return reply({{"result", "405"}, {"detail", "method"}}, 405);
    if (path == kInitSession)
        return initSession();

    Session* session = sessionFor(cookies);
    const bool csrfRequired = path != kUserInfo;
    if (m_scenario.enforceSession &&
        (!session ||
         (csrfRequired && form.value(QStringLiteral("csrfmiddlewaretoken")) != session->csrfToken)))
        return reply({{"result", "403"}, {"detail", "session"}}, 403);
    if (!session)
        session = &m_anonymous;
    if (path == kUserInfo && !form.isEmpty())
        return reply({{"result", "400"}, {"detail", "this operation takes no fields"}}, 400);

    const QDateTime now = QDateTime::currentDateTime();
    Json body;
    if (path == kVersion) {
        body["result"] = s(resultFor(path, m_scenario.versionResult));
        body["version_code"] = s(m_scenario.versionCode);
    } else if (path == kSessionKey) {
        const ScenarioAccount* account =
            m_scenario.findAccount(form.value(QStringLiteral("login_email")));
        const bool valid =
            account && account->password == form.value(QStringLiteral("login_password"));
        const QString result =
            resultFor(path, valid ? QStringLiteral("200") : m_scenario.loginFailureResult);
        if (valid && result == QLatin1String("200"))
            session->email = account->email;
        body["result"] = s(result);
        body["user_notice"] = noticesJson(m_scenario.userNotice);
        body["common_notice"] = noticesJson(m_scenario.commonNotice);
    } else if (path == kUserInfo) {
        const ScenarioAccount* account = signedInAccount(*session);
        body["result"] =
            s(resultFor(path, account ? QStringLiteral("200") : QStringLiteral("400")));
        body["email"] = account ? s(account->email) : "";
        body["product_name"] = account ? s(account->productName) : "";
        body["username"] = account ? s(account->username) : "";
        body["rec"] = account ? s(account->rec) : "";
        body["info_value"] = account ? s(account->expiryText(now)) : "";
    } else if (!signedInAccount(*session)) {
        // Every remaining operation belongs to a signed-in account; "400" is the
        // service's "session no longer valid".
        body["result"] = s(resultFor(path, QStringLiteral("400")));
    } else if (path == kServerList) {
        body["result"] = s(resultFor(path, QStringLiteral("200")));
        body["data"] = serversJson(m_scenario.servers);
    } else if (path == kCheckServer) {
        const ScenarioAccount& account = *signedInAccount(*session);
        const QString name = form.value(QStringLiteral("server_name"));
        const QString protocol = form.value(QStringLiteral("server_protocol"));
        std::optional<ScenarioSmartMatch> match;
        QString natural = QStringLiteral("500");
        if (account.hasExpired(now)) {
            natural = QStringLiteral("300");
        } else if (name.isEmpty()) {
            if (m_scenario.smartMatch.contains(protocol)) {
                match = m_scenario.smartMatch.value(protocol);
            } else {
                for (const ScenarioServer& server : m_scenario.servers) {
                    if (server.isActive && server.isStatus && server.protocol.contains(protocol)) {
                        match = ScenarioSmartMatch{server.name, server.hostdomain, server.country,
                                                   server.config};
                        break;
                    }
                }
            }
            if (match)
                natural = QStringLiteral("200");
        } else {
            for (const ScenarioServer& server : m_scenario.servers) {
                if (server.hostdomain != name)
                    continue;
                if (server.isActive && server.isStatus) {
                    match = ScenarioSmartMatch{server.name, server.hostdomain, server.country,
                                               server.config};
                    natural = QStringLiteral("1001");
                } else {
                    natural = QStringLiteral("1002");
                }
                break;
            }
        }
        body["result"] = s(resultFor(path, natural));
        if (match) {
            body["vpn_username"] = s(account.vpnUsername);
            body["vpn_password"] = s(account.vpnPassword);
            body["vpn_smart_match_name"] = s(match->name);
            body["vpn_smart_match_hostname"] = s(match->hostdomain);
            body["vpn_smart_match_country"] = s(match->country);
            body["vpn_smart_match_config"] = s(match->config);
        }
    } else if (path == kStableServer) {
        body["result"] = s(resultFor(path, QStringLiteral("200")));
        body["data"] = serversJson(m_scenario.stableServers);
    } else if (path == kReportFailed) {
        body["result"] = s(resultFor(path, QStringLiteral("200")));
    } else if (path == kChangePassword) {
        ScenarioAccount& account = *signedInAccount(*session);
        const bool matches =
            account.password == form.value(QStringLiteral("user_privious_password"));
        const QString result =
            resultFor(path, matches ? QStringLiteral("200") : QStringLiteral("500"));
        if (matches && result == QLatin1String("200"))
            account.password = form.value(QStringLiteral("user_new_password"));
        body["result"] = s(result);
    }
    return reply(body);
}

HttpReply ServiceApi::initSession() {
    Session session{randomToken(64), {}};
    const QString sessionId = randomToken(32);
    m_sessions.insert(sessionId, session);
    Json body{{"csrftoken", s(session.csrfToken)}, {"sessionid", s(sessionId)}};
    const QString override = m_scenario.resultOverrides.value(kInitSession);
    if (!override.isEmpty())
        body["result"] = s(override);
    HttpReply answer = reply(body);
    answer.headers.append({"Set-Cookie", "csrftoken=" + session.csrfToken.toLatin1() + "; Path=/"});
    answer.headers.append({"Set-Cookie", "sessionid=" + sessionId.toLatin1() + "; Path=/"});
    return answer;
}

ServiceApi::Session* ServiceApi::sessionFor(const QMap<QString, QString>& cookies) {
    const auto it = m_sessions.find(cookies.value(QStringLiteral("sessionid")));
    return it == m_sessions.end() ? nullptr : &it.value();
}

ScenarioAccount* ServiceApi::signedInAccount(const Session& session) {
    return session.email.isEmpty() ? nullptr : m_scenario.findAccount(session.email);
}

QString ServiceApi::resultFor(const QString& path, const QString& natural) const {
    return m_scenario.resultOverrides.value(path, natural);
}
