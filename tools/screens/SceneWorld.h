#pragma once

#include "TestService.h"
#include "api/ApiClient.h"
#include "app/MainWindow.h"
#include "connection/ConnectionSession.h"
#include "core/Storyboard.h"
#include "platform/MessageBoxAlerts.h"
#include "platform/NotificationCenter.h"
#include "platform/SimulatedVpnService.h"
#include "support/FakeInterfaceList.h"
#include "support/MemoryItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingBrowser.h"

#include <QString>
#include <functional>

class NetworkVC;
class OrvelController;

// Everything a scene stands on: the test service on loopback, a real API client trusting
// its CA, in-memory preferences and items, the simulated VPN service, the storyboard with
// every screen registered, and the one window.
class SceneWorld {
public:
    explicit SceneWorld(const QString& stateDir);
    ~SceneWorld();

    // Empty when the world stands, otherwise why not.
    QString error() const { return m_error; }

    // init-session and its cookies, as the start-up screen leaves them.
    bool openSession();
    // openSession, sign-in with the scenario's account and both server lists.
    bool signIn();
    // The signed-in shell: side menu and connection screen.
    NetworkVC* showShell();
    void showContent(QWidget* screen);
    // Modal alerts as the product shows them, instead of the silent recorder.
    void useMessageBoxes();

    TestService& service() { return m_service; }
    SimulatedVpnService& vpn() { return m_vpn; }
    Storyboard& storyboard() { return m_storyboard; }
    MainWindow& window() { return m_window; }
    ConnectionSession& connection() { return m_connection; }
    OrvelController* shell() const { return m_shell; }

private:
    bool fillServerLists();

    QString m_error;
    TestService m_service;
    ApiClient m_api;
    MemoryPreferences m_preferences;
    NotificationCenter m_notifications;
    RecordingAlerts m_alerts;
    MessageBoxAlerts m_messageBoxes;
    RecordingBrowser m_browser;
    MemoryItemStore m_items;
    FakeInterfaceList m_interfaces;
    SimulatedVpnService m_vpn;
    ConnectionSession m_connection;
    Storyboard m_storyboard;
    MainWindow m_window;
    OrvelController* m_shell = nullptr;
};

// Runs the event loop until `done` holds or the time is up.
bool spinUntil(const std::function<bool()>& done, int timeoutMs = 10000);
