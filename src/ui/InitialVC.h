#pragma once

#include "startup/StartupRetry.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class Storyboard;

// The first screen of a run: counts the tunnels already up, makes sure the OpenVPN
// package is there, tests the network, opens a session with the service and checks
// this client's version, one step after the other; then hands over to the login screen.
// A step that cannot go on says in the status line what it waits for and runs again by
// itself; meanwhile the bar slows down, then rests, so that waiting costs next to nothing.
class InitialVC final : public QWidget {
    Q_OBJECT
public:
    // `storyboard` is the one this screen was made from; it makes the login screen.
    explicit InitialVC(Storyboard* storyboard, QWidget* parent = nullptr);

    QPointer<QLabel> lbVersion;
    QPointer<QLabel> companyName;
    QPointer<QLabel> checkStatus;
    QPointer<QProgressBar> progressbar;
    QString cookie_url;

    void runStartupChecks();
    void checkNetwork();
    void initSession();
    void checkVersion();
    void setStatusText(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void viewDidLoad();
    void viewDidAppear();
    void handleVersionReply(const QString& result, const QString& versionCode);
    void goToLogin(Storyboard* storyboard);
    void queueStatusText(const QString& text);
    void downloadPackage();
    bool packageReady() const;
    bool networkReachable() const;
    void showWaiting(const char* key);
    void requestFailed(const QString& path);
    void slowProgressBar();

    Storyboard* m_storyboard;
    bool m_appeared = false;
    bool m_networkAlertShown = false;
    const char* m_waitingFor = nullptr; // the key of the line, to log each reason once
    StartupRetry m_retry;
    QTimer m_barSteps;       // the slow animation that replaces the busy one
    int m_barStepsLeft = -1; // -1 while the busy animation runs
};
