#pragma once

class Alerts;
class ApiClient;
class Browser;
class FavouriteServers;
class ConnectionObserver;
class ContentWindow;
class InterfaceList;
class ItemStore;
class NotificationCenter;
class Preferences;
class Reachability;
class ScriptRunner;
class StartupSteps;
class Storyboard;
class SystemVpnService;
class TunnelTeardown;

// The platform services of this run. The composition root (main) wires the real ones;
// tests wire doubles. None is owned here.
struct Services {
    Preferences* preferences = nullptr;
    NotificationCenter* notifications = nullptr;
    Reachability* reachability = nullptr;
    Alerts* alerts = nullptr;
    Browser* browser = nullptr;
    ApiClient* api = nullptr;
    ItemStore* itemStore = nullptr;
    SystemVpnService* vpnService = nullptr;
    ScriptRunner* scriptRunner = nullptr;
    InterfaceList* interfaces = nullptr;
    Storyboard* storyboard = nullptr;
    TunnelTeardown* teardown = nullptr;
    StartupSteps* startupSteps = nullptr;
    // The servers starred in the selection list, kept by the desktop layer; optional.
    FavouriteServers* favourites = nullptr;
    // Hears of attempts, connections and the user's leaving; optional.
    ConnectionObserver* connectionObserver = nullptr;
    // The one main window whose content the screens replace.
    ContentWindow* mainWindow = nullptr;
};

Services& services();
