#pragma once

#include <QString>

class Storyboard;

// What the start-up chain shows on its screen.
class StartupView {
public:
    virtual ~StartupView() = default;

    // The status line of the step that runs.
    virtual void setStatusText(const QString& text) = 0;
    // A step is under way (a request in flight, a download): the bar moves.
    virtual void showWorkingLook() = 0;
    // The chain waits for the network, the service or the package: the bar slows down,
    // then rests.
    virtual void showWaitingLook() = 0;
    // The chain is through: the login screen made by `storyboard` replaces this one.
    virtual void goToLogin(Storyboard* storyboard) = 0;
};
