#pragma once

#include "app/AppDelegate.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>

// The one window. Its content controller is replaced as the user moves on; the old
// screen is released with it.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    void setContentViewController(QWidget* controller);
    QWidget* contentViewController() const;
    void setContentSize(int width, int height);
    void setResizable(bool resizable);
    void setDelegate(AppDelegate* delegate) { m_delegate = delegate; }
    // Closing hides the window while this answers true (a tray can bring it back) and
    // quits otherwise; without it closing only hides.
    void setHideOnClose(std::function<bool()> canHide) { m_canHide = std::move(canHide); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPointer<AppDelegate> m_delegate;
    std::function<bool()> m_canHide;
};
