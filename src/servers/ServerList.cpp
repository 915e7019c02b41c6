#include "servers/ServerList.h"

#include "api/ApiClient.h"
#include "api/ApiReply.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "tunnel/SignOut.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcServers, "orvel.servers")

namespace {
std::shared_ptr<ServerData> makeServer(const ApiReply& item, const QString& vpnProtocol) {
    return std::make_shared<ServerData>(
        item.text("name"), item.text("hostdomain"), item.text("hostip"), item.boolean("is_active"),
        item.boolean("is_status"), item.text("country"), item.text("pd_name"), item.text("telecom"),
        vpnProtocol, item.text("config"));
}

std::shared_ptr<ServerData> copyFor(const ServerData& server, const QString& vpnProtocol) {
    auto copy = std::make_shared<ServerData>(server);
    copy->vpnProtocol = vpnProtocol;
    return copy;
}

// After a sign-out the login screen is no longer in the main window (it was replaced),
// so closing its window leaves the main window alone; a presented list closes itself.
void closeRequesterWindow(const QPointer<QWidget>& requester) {
    if (requester)
        requester->window()->close();
}
} // namespace

std::shared_ptr<ServerData> makeAutomaticEntry(const QString& vpnProtocol) {
    return std::make_shared<ServerData>(localized(QStringLiteral("AUTO_MATCHING")), QString(),
                                        QString(), true, true, QStringLiteral("KR"), QString(),
                                        QString(), vpnProtocol, QString());
}

void rebuildServerLists(const ApiReply& reply) {
    ServerList ikev2{makeAutomaticEntry(QStringLiteral("IKEV2"))};
    ServerList openvpn{makeAutomaticEntry(QStringLiteral("OpenVPN"))};
    const QList<ApiReply> data = reply.array("data");
    ikev2.reserve(data.size() + 1);
    openvpn.reserve(data.size() + 1);
    const QString ikev2Name = QStringLiteral("IKEV2");
    const QString openvpnName = QStringLiteral("OPENVPN");
    for (const ApiReply& item : data) {
        const QString protocol = item.text("protocol");
        const bool forIKEv2 = protocol.contains(ikev2Name);
        const bool forOpenVPN = protocol.contains(openvpnName);
        if (!forIKEv2 && !forOpenVPN)
            continue;
        // Each server is read once; a server on both lists still gets two records.
        const auto server = makeServer(item, forIKEv2 ? ikev2Name : openvpnName);
        if (forIKEv2)
            ikev2.append(server);
        if (forOpenVPN)
            openvpn.append(forIKEv2 ? copyFor(*server, openvpnName) : server);
    }
    AppState& state = appState();
    state.ikev2ServerList = std::move(ikev2);
    state.openvpnServerList = std::move(openvpn);
}

void handleServerListReply(const ApiReply& reply, const ServerListRequest& request) {
    const QString result = reply.text("result");
    if (request.onResult)
        request.onResult(result);
    if (result == QLatin1String("200")) {
        rebuildServerLists(reply);
        if (request.onRebuilt)
            request.onRebuilt();
        return;
    }
    if (result == QLatin1String("400")) {
        signOut();
        closeRequesterWindow(request.requester);
        return;
    }
    qCInfo(lcServers) << "server list refused with result" << result;
    showConfirmAlert(localized(QStringLiteral("ERRORALERT")));
}

void getServerList(ServerListRequest request) {
    ApiClient* api = services().api;
    if (!api) {
        qCWarning(lcServers) << "no API client to fetch the server list";
        return;
    }
    api->send(QLatin1String(ApiPath::newServerList), {},
              [request = std::move(request)](const ApiReply& reply) {
                  handleServerListReply(reply, request);
              });
}

const ServerList& serverListForProtocol(const QString& selectedProtocol) {
    const AppState& state = appState();
    return selectedProtocol == QLatin1String("IKEV2") ? state.ikev2ServerList
                                                      : state.openvpnServerList;
}
