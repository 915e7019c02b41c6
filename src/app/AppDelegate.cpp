#include "app/AppDelegate.h"

#include "app/AppState.h"
#include "app/TunnelTeardown.h"

#include <QWidget>

AppDelegate::AppDelegate(TunnelTeardown& teardown, QObject* parent)
    : QObject(parent), m_teardown(teardown) {}

bool AppDelegate::applicationShouldHandleReopen(const QList<QWidget*>& windows,
                                                bool /*hasVisibleWindows*/) {
    if (windows.isEmpty())
        return true;
    QWidget* window = windows.last();
    if (!window->isVisible()) {
        window->show();
        window->raise();
        window->activateWindow();
    }
    return true;
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    AppState& state = appState();
    if (!state.isConnected)
        return TerminateReply::Now;
    if (state.selectedProtocol == QLatin1String("IKEV2"))
        m_teardown.disconnectIKEv2();
    else
        m_teardown.runOpenVPNStopScript();
    if (!state.isConnected)
        return TerminateReply::Now;
    m_terminationPending = true;
    m_teardown.disconnectIKEv2ForTermination(
        [this](bool shouldTerminate) { replyToApplicationShouldTerminate(shouldTerminate); });
    return TerminateReply::Later;
}

void AppDelegate::applicationWillTerminate() {
    const AppState& state = appState();
    if (!state.isConnected)
        return;
    if (state.selectedProtocol == QLatin1String("IKEV2"))
        m_teardown.disconnectIKEv2();
    else
        m_teardown.runOpenVPNStopScript();
}

void AppDelegate::requestQuit() {
    if (m_terminationPending)
        return;
    if (applicationShouldTerminate() == TerminateReply::Now)
        emit terminateApproved();
}

void AppDelegate::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!m_terminationPending)
        return;
    m_terminationPending = false;
    if (shouldTerminate)
        emit terminateApproved();
}
