#pragma once

#include "desktop/Autostart.h"
#include "desktop/ControlServer.h"
#include "desktop/DeferredAlerts.h"
#include "desktop/DesktopController.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/DesktopSettings.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/ShortcutFavourites.h"
#include "desktop/TrayIcon.h"
#include "platform/FreedesktopNotifications.h"

#include <QObject>
#include <memory>

class Application;
class LogFile;

// The client as a citizen of the Linux desktop: tray icon, notifications, the settings
// screen with start at login, the command line's socket and diagnostics export, all
// attached to the client through its public operations and events.
class Desktop final : public QObject {
    Q_OBJECT
public:
    Desktop(Application& application, LogFile& log, QObject* parent = nullptr);
    ~Desktop() override;

    // Hidden only when asked (--hidden or the setting) and a tray can bring it back.
    bool startsHidden(bool askedHidden) const;
    void exportDiagnostics();

    DesktopController& controller() { return m_controller; }

private:
    void showTray();

    Application& m_application;
    LogFile& m_log;
    ServerShortcuts m_shortcuts;
    ShortcutFavourites m_favourites;
    DesktopSettings m_settings;
    Autostart m_autostart;
    FreedesktopNotifications m_notifications;
    DesktopController m_controller;
    DesktopNotifier m_notifier;
    DeferredAlerts m_alerts;
    ControlServer m_control;
    // Made shortly after start: its menu and icons are not what the first screens
    // should wait for.
    std::unique_ptr<TrayIcon> m_tray;
};
