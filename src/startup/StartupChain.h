#pragma once

#include "startup/StartupRetry.h"

#include <QObject>
#include <QString>

class StartupView;
class Storyboard;

// The checks of a run's first screen, one after the other: count the tunnels already up,
// make sure the OpenVPN package is there, test the network, open a session with the
// service and check this client's version; then the login screen. A step that cannot go
// on says in the status line what it waits for and runs again by itself.
class StartupChain final : public QObject {
    Q_OBJECT
public:
    // `storyboard` is the one the screen was made from; it makes the login screen. On a
    // regular start the session request and the version check go out at once; the chain
    // itself starts when the event loop runs.
    StartupChain(StartupView& view, Storyboard* storyboard, QObject* parent = nullptr);

    QString cookie_url;

    void runStartupChecks();
    void checkNetwork();
    void initSession();
    void checkVersion();

private:
    void sendAhead();
    void handleVersionReply(const QString& result, const QString& versionCode);
    void queueStatusText(const QString& text);
    void queueWorkingLook();
    void downloadPackage();
    bool packageReady() const;
    bool networkReachable() const;
    void showWaiting(const char* key);
    void requestFailed(const QString& path);
    // The retry of a step: after a failure at the last host, a new round of the hosts
    // begins at the first one.
    void retryFromFirstHostAfterARound(void (StartupChain::*step)());

    StartupView& m_view;
    Storyboard* m_storyboard;
    bool m_networkAlertShown = false;
    const char* m_waitingFor = nullptr; // the key of the line, to log each reason once
    bool m_roundOfHostsFailed = false;
    StartupRetry m_retry;
};
