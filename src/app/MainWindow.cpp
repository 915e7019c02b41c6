#include "app/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QTimer>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    auto* quit = new QAction(this);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, [this] {
        if (m_delegate)
            m_delegate->requestQuit();
    });
    addAction(quit);
}

// Shown at once rather than from the event loop, where Qt would show it after painting
// the window once more with the old screen still in it.
void MainWindow::setContentViewController(QWidget* controller) {
    QWidget* previous = takeCentralWidget();
    if (previous) {
        previous->hide();
        previous->deleteLater();
    }
    setCentralWidget(controller);
    if (controller)
        controller->show();
    if (previous)
        showHeldBack();
    emit contentChanged();
}

void MainWindow::present() {
    if (m_holdBackMs <= 0) {
        show();
        return;
    }
    m_heldBack = true;
    QTimer::singleShot(m_holdBackMs, this, &MainWindow::showHeldBack);
}

void MainWindow::showHeldBack() {
    if (m_heldBack)
        show();
}

QWidget* MainWindow::contentViewController() const {
    return centralWidget();
}

void MainWindow::setContentSize(int width, int height) {
    resize(width, height);
}

void MainWindow::setResizable(bool resizable) {
    if (resizable) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(size());
    }
}

// Refused even when the application asks (Qt closes every window before it quits and
// gives up the quit when one refuses): quitting goes through the delegate, which ends the
// event loop itself.
void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    if (m_closed)
        m_closed();
}

void MainWindow::showEvent(QShowEvent* event) {
    m_heldBack = false;
    m_holdBackMs = 0;
    QMainWindow::showEvent(event);
}
