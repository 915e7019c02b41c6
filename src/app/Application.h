#pragma once

#include "app/LaunchOptions.h"

#include <memory>

class Alerts;
class AppDelegate;
class KillSwitch;
class MainWindow;
class Preferences;
class QApplication;
class SingleInstance;
class Storyboard;

// The composition root: wires the real platform services into the shared services,
// makes the window and shows the first screen.
class Application {
public:
    Application(QApplication& app, LaunchOptions options);
    ~Application();

    // Fails with a message when an override cannot be applied.
    bool configure(QString* error);
    // False when a client of this user already runs; it has been asked to reopen.
    bool claimInstance();
    void wireQuitAndReopen(QApplication& app);
    // Clears what a crashed run left and puts the first screen in the window; its chain
    // of checks starts as soon as the event loop runs.
    void start();
    // Shows the window, unless the client starts hidden.
    void show(bool hidden = false);

    // What a layer around the client (the desktop's tray, notifications, command line)
    // attaches to.
    MainWindow& window();
    AppDelegate& delegate();
    SingleInstance& instance();
    Preferences& preferences();
    Storyboard& storyboard();
    // The modal alerts as made here; a layer may route the shared ones through its own.
    Alerts& alerts();
    KillSwitch& killSwitch();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    LaunchOptions m_options;
};
