#include "app/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    auto* quit = new QAction(this);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, [this] {
        if (m_delegate)
            m_delegate->requestQuit();
    });
    addAction(quit);
}

void MainWindow::setContentViewController(QWidget* controller) {
    QWidget* previous = takeCentralWidget();
    setCentralWidget(controller);
    if (previous)
        previous->deleteLater();
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

// Closing the window keeps the process while something can bring the window back;
// otherwise the user would be left with an invisible client, so it quits.
void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!m_canHide || m_canHide() || !m_delegate) {
        hide();
        return;
    }
    m_delegate->requestQuit();
}
