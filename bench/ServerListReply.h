#pragma once

#include <QByteArray>
#include <string>
#include <vector>

// A "/v1/app_new_server_list" reply of `servers` servers on both protocols, their
// countries taken in turn from `countries` and every `maintenanceEvery`th one (if any)
// under maintenance.
inline QByteArray serverListReply(int servers, const std::vector<std::string>& countries = {"KR"},
                                  int maintenanceEvery = 0) {
    std::string body = R"({"result":"200","data":[)";
    for (int i = 0; i < servers; ++i) {
        const bool inService = maintenanceEvery == 0 || i % maintenanceEvery != 0;
        body += (i ? "," : "");
        body +=
            R"({"protocol":"IKEV2,OPENVPN","name":"Server )" + std::to_string(i) +
            R"(","hostdomain":"s)" + std::to_string(i) +
            R"(.example.net","hostip":"10.0.0.1","country":")" + countries[i % countries.size()] +
            R"(","pd_name":"p",)"
            R"("telecom":"KT","config":"client\r\ndev tun\r\nproto udp\r\nremote 10.0.0.1 1194\r\nauth-user-pass\r\nnobind\r\n",)"
            R"("is_active":true,"is_status":)" +
            (inService ? "true" : "false") + "}";
    }
    body += "]}";
    return QByteArray::fromStdString(body);
}
