#pragma once

#include "Fault.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <utility>

struct ScenarioAccount {
    QString email;
    QString password;
    QString vpnUsername;
    QString vpnPassword;
    QString username;
    QString productName;
    QString rec;
    QString expiry;                         // "yyyy-MM-dd HH:mm:ss" as the service sends it
    std::optional<qint64> expiresInSeconds; // counted from each request when expiry is empty

    // The "info_value" text at the given moment; "" when the account has no expiry.
    QString expiryText(const QDateTime& now) const;
    bool hasExpired(const QDateTime& now) const;
};

struct ScenarioNotice {
    int id = 0;
    QString contentZh;
    QString contentEn;
    QString contentKo;
};

// One entry of the server list and of the stable list, in the message's own names.
struct ScenarioServer {
    QString protocol;
    QString name;
    QString hostdomain;
    QString hostip;
    QString country;
    QString pdName;
    QString telecom;
    QString config;
    bool isActive = true;
    bool isStatus = true;
};

struct ScenarioSmartMatch {
    QString name;
    QString hostdomain;
    QString country;
    QString config;
};

// Everything the service answers from. Tests edit it between requests.
struct Scenario {
    bool enforceSession = true;
    QList<ScenarioAccount> accounts;
    QString versionResult = QStringLiteral("200");
    QString versionCode;
    QString loginFailureResult = QStringLiteral("600");
    QList<ScenarioServer> servers;
    QMap<QString, ScenarioSmartMatch> smartMatch; // by protocol, "IKEV2" or "OPENVPN"
    QList<ScenarioServer> stableServers;
    QList<ScenarioNotice> userNotice;
    QList<ScenarioNotice> commonNotice;
    QMap<QString, QString> resultOverrides; // path -> result text
    QMap<QString, Fault> faults;            // path ("*" = every API path) -> fault

    ScenarioAccount* findAccount(const QString& email);

    static std::optional<Scenario> fromJson(const QByteArray& json, QString* error = nullptr);
    // {"path": ..., "kind": ..., "delayMs": ..., "hosts": [...], "remaining": ...}
    static std::optional<std::pair<QString, Fault>> faultFromJson(const QByteArray& json,
                                                                  QString* error = nullptr);
    static Scenario demo();
    static QByteArray demoJson();
};
