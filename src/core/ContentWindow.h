#pragma once

class QWidget;

// The one window whose content the screens replace, as the screens and the sign-out see
// it. The application's main window is the one there is.
class ContentWindow {
public:
    virtual ~ContentWindow() = default;

    // The new screen replaces the old one at once; the old one is released.
    virtual void setContentViewController(QWidget* controller) = 0;
    virtual QWidget* contentViewController() const = 0;
    virtual void setContentSize(int width, int height) = 0;
    virtual void setResizable(bool resizable) = 0;
    // A first screen whose replacement is on its way asks for the window to wait that
    // long before it is shown; showHeldBack() shows a window that waits at once.
    virtual void holdBackFirstShow(int milliseconds) = 0;
    virtual void showHeldBack() = 0;
    // The window as a widget: shown or not, the parent of dialogs.
    virtual QWidget& widget() = 0;
};
