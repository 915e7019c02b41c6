#pragma once

#include "startup/StartupChain.h"
#include "startup/StartupView.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class Storyboard;

// The first screen of a run: shows the start-up chain's steps and hands over to the login
// screen. While the chain waits, the bar slows down, then rests, so that waiting costs next
// to nothing.
class InitialVC final : public QWidget, public StartupView {
    Q_OBJECT
public:
    // `storyboard` is the one this screen was made from; it makes the login screen.
    explicit InitialVC(Storyboard* storyboard, QWidget* parent = nullptr);

    QPointer<QLabel> lbVersion;
    QPointer<QLabel> companyName;
    QPointer<QLabel> checkStatus;
    QPointer<QProgressBar> progressbar;

    // StartupView
    void setStatusText(const QString& text) override;
    void showWaitingLook() override;
    void goToLogin(Storyboard* storyboard) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void viewDidLoad();
    void viewDidAppear();

    StartupChain m_chain;
    bool m_appeared = false;
    QTimer m_barSteps;       // the slow animation that replaces the busy one
    int m_barStepsLeft = -1; // -1 while the busy animation runs
};
