#pragma once

#include "app/AppDelegate.h"
#include "core/ContentWindow.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>

// The one window. Its content controller is replaced as the user moves on; the old
// screen is released with it.
class MainWindow final : public QMainWindow, public ContentWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // The new screen replaces the old one at once; a window held back is shown with it.
    void setContentViewController(QWidget* controller) override;
    QWidget* contentViewController() const override;
    void setContentSize(int width, int height) override;
    void setResizable(bool resizable) override;
    void setDelegate(AppDelegate* delegate) { m_delegate = delegate; }
    // Closing only hides the window: the process and its tunnel stay, and a second launch,
    // the tray or `orvelctl show` bring it back. Told after each close.
    void setOnClosed(std::function<void()> closed) { m_closed = std::move(closed); }

    // A first screen that expects to be replaced within a frame (its replies are on their
    // way) asks for the window to be held back that long, so that the screen a user sees
    // first is the one that stays, not one replaced before it could be seen. present()
    // then shows the window when the next screen is in, when something must be shown in
    // it (showHeldBack()), or once the time is up, whichever comes first.
    void holdBackFirstShow(int milliseconds) override { m_holdBackMs = milliseconds; }
    void present();
    void showHeldBack() override;
    QWidget& widget() override { return *this; }

signals:
    // Another screen fills the window (signed in, signed out).
    void contentChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPointer<AppDelegate> m_delegate;
    std::function<void()> m_closed;
    int m_holdBackMs = 0;
    bool m_heldBack = false;
};
