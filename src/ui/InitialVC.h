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
// screen. The bar moves while a step is under way; while the chain waits, it slows down,
// then rests, so that waiting costs next to nothing.
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
    void showWorkingLook() override;
    void showWaitingLook() override;
    bool showsWaitingLook() const { return !m_working; }
    void goToLogin(Storyboard* storyboard) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void viewDidLoad();
    void viewDidAppear();
    void endBusyAnimation();
    void stepTheBar();

    bool m_working = true; // set before the chain, which may report at once
    bool m_busyAnimationOver = false;
    QTimer m_barSteps;       // the slow animation that replaces the busy one
    int m_barStepsLeft = -1; // -1: steps on while a step is under way
    StartupChain m_chain;
    bool m_appeared = false;
};
