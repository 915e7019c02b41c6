#pragma once

#include "connection/ConnectionSettings.h"
#include "desktop/Autostart.h"
#include "desktop/ControlServer.h"
#include "desktop/DeferredAlerts.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/DesktopSettings.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/SettingsCatalog.h"
#include "desktop/ShortcutFavourites.h"
#include "desktop/TrayIcon.h"
#include "platform/FreedesktopNotifications.h"

#include <QObject>
#include <memory>

class Alerts;
class ClientControl;
class ContentWindow;
class KillSwitch;
class LogFile;
class Preferences;
class SingleInstance;
class Storyboard;

// What the desktop layer attaches to, as the application hands it over.
struct DesktopHost {
    ClientControl& control;
    ContentWindow& window;
    SingleInstance& instance;
    Preferences& preferences;
    Storyboard& storyboard;
    // The modal alerts as the application made them; the desktop routes the shared ones
    // through its own.
    Alerts& alerts;
    KillSwitch& killSwitch;
};

// The client as a citizen of the Linux desktop: tray icon, notifications, the settings
// screen with start at login, the command line's socket and diagnostics export, all
// attached to the client through its public operations and events.
class Desktop final : public QObject {
    Q_OBJECT
public:
    Desktop(const DesktopHost& host, LogFile& log, QObject* parent = nullptr);
    ~Desktop() override;

    // Closing the window can hide it only while a tray can bring it back.
    static bool trayAvailable();
    // Hidden only when asked (--hidden or the setting) and a tray can bring it back.
    bool startsHidden(bool askedHidden) const;
    void exportDiagnostics();
    // The window was closed; the process stays.
    void windowClosed();

private:
    void showTray();
    void recordUsedServer();

    DesktopHost m_host;
    LogFile& m_log;
    ServerShortcuts m_shortcuts;
    ShortcutFavourites m_favourites;
    DesktopSettings m_settings;
    Autostart m_autostart;
    ConnectionSettings m_connectionSettings;
    SettingsCatalog m_catalog;
    FreedesktopNotifications m_notifications;
    DesktopNotifier m_notifier;
    DeferredAlerts m_alerts;
    ControlServer m_control;
    // Made shortly after start: its menu and icons are not what the first screens
    // should wait for.
    std::unique_ptr<TrayIcon> m_tray;
    bool m_toldHowToReopen = false;
};
