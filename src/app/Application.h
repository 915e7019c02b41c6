#pragma once

#include "app/LaunchOptions.h"

#include <memory>

class QApplication;

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
    void show();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    LaunchOptions m_options;
};
