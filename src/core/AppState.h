#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

class ServerData;
class NoticeModel;
class Reachability;

// The process-wide values every screen and the tunnel code share. All of them are
// touched on the main thread only; the settings-package download reads a few of them
// from its worker while nothing changes them.
struct AppState {
    QString apiBaseURL;
    int apiHostIndex = 0;
    QString csrfToken;
    QString sessionId;

    QList<std::shared_ptr<ServerData>> ikev2ServerList;
    QList<std::shared_ptr<ServerData>> openvpnServerList;
    std::shared_ptr<ServerData> currentServer;
    QList<std::shared_ptr<ServerData>> stableServerList;

    QString selectedProtocol = QStringLiteral("IKEV2");
    bool isConnected = false;
    bool isConnecting = false;
    std::unique_ptr<QTimer> failoverTimer;
    int failoverCountdown = 10;

    QString vpnUsername;
    QString vpnPassword;
    QString adminUserName;
    bool isAdminAuthorized = false;
    bool pendingOpenVPNInstall = false;

    // What this run has left on the machine that the teardown must undo: an OpenVPN
    // launched and not stopped since, a DNS override applied.
    bool openVPNMayRun = false;
    bool dnsOverrideApplied = false;
    // The kill switch's rules are in place: only the tunnel, its servers and the service
    // get out. Set by the kill switch, which posts "trafficBlockedChanged".
    bool trafficBlocked = false;

    QString vpnHomeDir;
    QString credentialTemplatePath;
    int baselineUtunCount = 0;
    bool startupNoticeFlag = false;

    std::shared_ptr<NoticeModel> currentNotice;
    bool hasUnreadNotice = false;

    QString userEmail;
    QString userName;
    QString productName;
    QString expiryDateText;
    QString recText;

    // Stops the supervision timer, if one was ever made.
    void stopFailoverTimer();
};

// The one instance of the process. Tests reset it between cases.
AppState& appState();
void resetAppState();

// Constants of the shared table.
const QStringList& utunNames();
QString supportChatURL();
QColor sharedGrayColor();
