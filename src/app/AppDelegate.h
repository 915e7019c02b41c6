#pragma once

#include <QList>
#include <QObject>

class QWidget;
class TunnelTeardown;

// The application's answers to reopen and quit.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    enum class TerminateReply { Now = 1, Later = 2 };

    explicit AppDelegate(TunnelTeardown& teardown, QObject* parent = nullptr);

    void applicationDidFinishLaunching() {}
    bool applicationShouldHandleReopen(const QList<QWidget*>& windows, bool hasVisibleWindows);
    TerminateReply applicationShouldTerminate();
    void applicationWillTerminate();

    // The quit command of the window: asks, then quits now or when the reply comes.
    void requestQuit();

signals:
    // A quit was asked for (window, tray, signal, command line): the tunnel is about to
    // be taken down on purpose.
    void quitRequested();
    // Emitted once the quit may go ahead.
    void terminateApproved();

private:
    void tearDownOpenVPNAndDNS();
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    void approveTermination();

    TunnelTeardown& m_teardown;
    bool m_terminationPending = false;
    bool m_terminationApproved = false;
};
