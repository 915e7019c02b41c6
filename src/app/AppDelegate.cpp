#include "app/AppDelegate.h"

#include "core/AppState.h"
#include "core/ConnectionObserver.h"
#include "core/Services.h"
#include "core/TunnelTeardown.h"

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

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");

// Connecting counts as much as connected: an OpenVPN or an IKE SA may already be there.
bool attemptUnderway() {
    const AppState& state = appState();
    return state.isConnected || state.isConnecting;
}
} // namespace

void AppDelegate::tearDownOpenVPNAndDNS() {
    if (appState().openVPNMayRun)
        m_teardown.runOpenVPNStopScript();
    m_teardown.restoreDNS();
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    AppState& state = appState();
    tearDownOpenVPNAndDNS();
    if (!attemptUnderway())
        return TerminateReply::Now;
    if (state.selectedProtocol == kIKEv2)
        m_teardown.disconnectIKEv2();
    if (!attemptUnderway())
        return TerminateReply::Now;
    m_terminationPending = true;
    m_teardown.disconnectIKEv2ForTermination(
        [this](bool shouldTerminate) { replyToApplicationShouldTerminate(shouldTerminate); });
    return TerminateReply::Later;
}

void AppDelegate::applicationWillTerminate() {
    if (attemptUnderway() && appState().selectedProtocol == kIKEv2)
        m_teardown.disconnectIKEv2();
    tearDownOpenVPNAndDNS();
    m_teardown.forgetLeftovers();
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->quitting();
}

void AppDelegate::requestQuit() {
    if (m_terminationPending || m_terminationApproved)
        return;
    emit quitRequested();
    if (applicationShouldTerminate() == TerminateReply::Now)
        approveTermination();
}

void AppDelegate::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!m_terminationPending)
        return;
    m_terminationPending = false;
    if (shouldTerminate)
        approveTermination();
}

// Once: the signals, the tray and the command line may all ask while the loop winds down.
void AppDelegate::approveTermination() {
    m_terminationApproved = true;
    emit terminateApproved();
}
