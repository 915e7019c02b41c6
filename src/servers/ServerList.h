#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class ApiReply;
class ServerData;

using ServerList = QList<std::shared_ptr<ServerData>>;

// What the screen that asked for the list does with the outcome. The login screen logs
// the result first and goes on to the main screen; the selection list reloads its table.
struct ServerListRequest {
    std::function<void(const QString& result)> onResult;
    std::function<void()> onRebuilt;
    // Its window is closed after a sign-out ("400"), when it still sits in one.
    QPointer<QWidget> requester;
};

// Sends "/v1/app_new_server_list" and handles the reply; failed replies are resent to
// the next host by the API client.
void getServerList(ServerListRequest request);
void handleServerListReply(const ApiReply& reply, const ServerListRequest& request);

// Replaces both lists from a reply: each list's automatic entry, then the servers of
// "data" whose protocol names it.
void rebuildServerLists(const ApiReply& reply);
std::shared_ptr<ServerData> makeAutomaticEntry(const QString& vpnProtocol);

// "IKEV2" picks the IKEv2 list, anything else the OpenVPN one.
const ServerList& serverListForProtocol(const QString& selectedProtocol);
