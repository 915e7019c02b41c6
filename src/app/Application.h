#pragma once

#include "app/LaunchOptions.h"

#include <memory>

class AppDelegate;
class MainWindow;
class QApplication;
struct DesktopHost;

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

    // What the desktop layer (tray, notifications, command line) attaches to.
    DesktopHost desktopHost();
    MainWindow& window();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    LaunchOptions m_options;
};
