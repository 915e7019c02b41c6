#include "Scenario.h"

#include <QFile>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

using nlohmann::json;

namespace {

const char* const kServiceDateFormat = "yyyy-MM-dd HH:mm:ss";

// Scenario files are written by hand, so a misspelt key or a wrong type is an error
// with the key's name rather than a silently ignored value.
[[noreturn]] void fail(const std::string& message) {
    throw std::runtime_error(message);
}

void requireObject(const json& value, const std::string& where) {
    if (!value.is_object())
        fail(where + " must be an object");
}

void checkKeys(const json& object, std::initializer_list<const char*> allowed,
               const std::string& where) {
    for (const auto& item : object.items()) {
        bool known = false;
        for (const char* key : allowed)
            known = known || item.key() == key;
        if (!known)
            fail(where + ": unknown key \"" + item.key() + "\"");
    }
}

QString text(const json& object, const char* key, const QString& fallback = {}) {
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_string())
        fail(std::string("\"") + key + "\" must be a string");
    return QString::fromStdString(it->get<std::string>());
}

bool flag(const json& object, const char* key, bool fallback) {
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_boolean())
        fail(std::string("\"") + key + "\" must be true or false");
    return it->get<bool>();
}

qint64 integer(const json& object, const char* key, qint64 fallback) {
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_number_integer())
        fail(std::string("\"") + key + "\" must be an integer");
    return it->get<qint64>();
}

const json& array(const json& object, const char* key) {
    static const json empty = json::array();
    const auto it = object.find(key);
    if (it == object.end())
        return empty;
    if (!it->is_array())
        fail(std::string("\"") + key + "\" must be an array");
    return *it;
}

ScenarioAccount accountFrom(const json& value) {
    requireObject(value, "account");
    checkKeys(value,
              {"email", "password", "vpnUsername", "vpnPassword", "username", "productName", "rec",
               "expiry", "expiresInSeconds"},
              "account");
    ScenarioAccount account;
    account.email = text(value, "email");
    account.password = text(value, "password");
    account.vpnUsername = text(value, "vpnUsername");
    account.vpnPassword = text(value, "vpnPassword");
    account.username = text(value, "username");
    account.productName = text(value, "productName");
    account.rec = text(value, "rec");
    account.expiry = text(value, "expiry");
    if (value.contains("expiresInSeconds"))
        account.expiresInSeconds = integer(value, "expiresInSeconds", 0);
    if (!account.expiry.isEmpty() &&
        !QDateTime::fromString(account.expiry, QLatin1String(kServiceDateFormat)).isValid())
        fail("account \"expiry\" must read yyyy-MM-dd HH:mm:ss");
    return account;
}

ScenarioServer serverFrom(const json& value) {
    requireObject(value, "server");
    checkKeys(value,
              {"protocol", "name", "hostdomain", "hostip", "country", "pd_name", "telecom",
               "config", "is_active", "is_status"},
              "server");
    ScenarioServer server;
    server.protocol = text(value, "protocol");
    server.name = text(value, "name");
    server.hostdomain = text(value, "hostdomain");
    server.hostip = text(value, "hostip");
    server.country = text(value, "country");
    server.pdName = text(value, "pd_name");
    server.telecom = text(value, "telecom");
    server.config = text(value, "config");
    server.isActive = flag(value, "is_active", true);
    server.isStatus = flag(value, "is_status", true);
    return server;
}

ScenarioNotice noticeFrom(const json& value) {
    requireObject(value, "notice");
    checkKeys(value, {"id", "content_zh", "content_en", "content_ko"}, "notice");
    ScenarioNotice notice;
    notice.id = static_cast<int>(integer(value, "id", 0));
    notice.contentZh = text(value, "content_zh");
    notice.contentEn = text(value, "content_en");
    notice.contentKo = text(value, "content_ko");
    return notice;
}

std::pair<QString, Fault> faultFrom(const json& value) {
    requireObject(value, "fault");
    checkKeys(value, {"path", "kind", "delayMs", "hosts", "remaining"}, "fault");
    const QString path = text(value, "path");
    if (path.isEmpty())
        fail("fault needs a \"path\"");
    const auto kind = Fault::kindFromString(text(value, "kind"));
    if (!kind)
        fail("fault \"kind\" must be drop, html, delay, http500json, huge or deep");
    Fault fault;
    fault.kind = *kind;
    fault.delayMs = static_cast<int>(integer(value, "delayMs", 0));
    fault.remaining = static_cast<int>(integer(value, "remaining", -1));
    for (const json& host : array(value, "hosts")) {
        if (!host.is_number_integer())
            fail("fault \"hosts\" must hold integers");
        fault.hosts.insert(host.get<int>());
    }
    if (fault.delayMs < 0)
        fail("fault \"delayMs\" must not be negative");
    return {path, fault};
}

Scenario scenarioFrom(const json& root) {
    requireObject(root, "scenario");
    checkKeys(root,
              {"enforceSession", "accounts", "version", "loginFailureResult", "servers",
               "smartMatch", "stableServers", "userNotice", "commonNotice", "resultOverrides",
               "faults"},
              "scenario");
    Scenario scenario;
    scenario.enforceSession = flag(root, "enforceSession", true);
    for (const json& value : array(root, "accounts"))
        scenario.accounts.append(accountFrom(value));
    if (root.contains("version")) {
        const json& version = root["version"];
        requireObject(version, "version");
        checkKeys(version, {"result", "versionCode"}, "version");
        scenario.versionResult = text(version, "result", scenario.versionResult);
        scenario.versionCode = text(version, "versionCode");
    }
    scenario.loginFailureResult = text(root, "loginFailureResult", scenario.loginFailureResult);
    for (const json& value : array(root, "servers"))
        scenario.servers.append(serverFrom(value));
    for (const json& value : array(root, "stableServers"))
        scenario.stableServers.append(serverFrom(value));
    if (root.contains("smartMatch")) {
        requireObject(root["smartMatch"], "smartMatch");
        for (const auto& item : root["smartMatch"].items()) {
            requireObject(item.value(), "smartMatch entry");
            checkKeys(item.value(), {"name", "hostdomain", "country", "config"}, "smartMatch");
            scenario.smartMatch.insert(
                QString::fromStdString(item.key()),
                {text(item.value(), "name"), text(item.value(), "hostdomain"),
                 text(item.value(), "country"), text(item.value(), "config")});
        }
    }
    for (const json& value : array(root, "userNotice"))
        scenario.userNotice.append(noticeFrom(value));
    for (const json& value : array(root, "commonNotice"))
        scenario.commonNotice.append(noticeFrom(value));
    if (root.contains("resultOverrides")) {
        requireObject(root["resultOverrides"], "resultOverrides");
        for (const auto& item : root["resultOverrides"].items()) {
            if (!item.value().is_string())
                fail("resultOverrides values must be strings");
            scenario.resultOverrides.insert(
                QString::fromStdString(item.key()),
                QString::fromStdString(item.value().get<std::string>()));
        }
    }
    for (const json& value : array(root, "faults")) {
        const auto [path, fault] = faultFrom(value);
        scenario.faults.insert(path, fault);
    }
    return scenario;
}

template <typename T, typename Parse>
std::optional<T> parseWith(const QByteArray& text, QString* error, Parse parse) {
    try {
        return parse(json::parse(text.constBegin(), text.constEnd()));
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return std::nullopt;
    }
}

} // namespace

QString ScenarioAccount::expiryText(const QDateTime& now) const {
    if (!expiry.isEmpty())
        return expiry;
    if (expiresInSeconds)
        return now.addSecs(*expiresInSeconds).toString(QLatin1String(kServiceDateFormat));
    return {};
}

bool ScenarioAccount::hasExpired(const QDateTime& now) const {
    const QString text = expiryText(now);
    if (text.isEmpty())
        return false;
    return QDateTime::fromString(text, QLatin1String(kServiceDateFormat)) <= now;
}

ScenarioAccount* Scenario::findAccount(const QString& email) {
    for (ScenarioAccount& account : accounts) {
        if (account.email == email)
            return &account;
    }
    return nullptr;
}

std::optional<Scenario> Scenario::fromJson(const QByteArray& json, QString* error) {
    return parseWith<Scenario>(json, error, scenarioFrom);
}

std::optional<std::pair<QString, Fault>> Scenario::faultFromJson(const QByteArray& json,
                                                                 QString* error) {
    return parseWith<std::pair<QString, Fault>>(json, error, faultFrom);
}

QByteArray Scenario::demoJson() {
    QFile file(QStringLiteral(":/testservice/demo-scenario.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

Scenario Scenario::demo() {
    // The demo file ships inside the library and is checked by the tests.
    return fromJson(demoJson()).value_or(Scenario{});
}
