#pragma once

#include <QString>

// One server of the service. Records are shared by reference between the lists and
// currentServer.
class ServerData {
public:
    ServerData(QString name, QString hostdomain, QString hostip, bool is_active, bool is_status,
               QString country, QString pd_name, QString telecom, QString vpnProtocol,
               QString config)
        : name(std::move(name)), hostdomain(std::move(hostdomain)), hostip(std::move(hostip)),
          is_active(is_active), is_status(is_status), country(std::move(country)),
          pd_name(std::move(pd_name)), telecom(std::move(telecom)),
          vpnProtocol(std::move(vpnProtocol)), config(std::move(config)) {}

    QString name;
    QString hostdomain;
    QString hostip;
    bool is_active;
    bool is_status;
    QString country;
    QString pd_name;
    QString telecom;
    QString vpnProtocol;
    QString config;
};
