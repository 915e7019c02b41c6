#pragma once

#include "app/AppDelegate.h"

#include <QMainWindow>
#include <QPointer>

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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPointer<AppDelegate> m_delegate;
};
