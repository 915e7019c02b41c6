#include "connection/Reconnector.h"

#include "connection/ConnectSequence.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionSettings.h"
#include "connection/ConnectionStates.h"
#include "connection/ConnectionView.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcReconnect, "orvel.connection")

namespace {
bool reconnectWanted() {
    Preferences* preferences = services().preferences;
    return !preferences || ConnectionSettings(*preferences).reconnectAutomatically();
}
} // namespace

Reconnector::Reconnector(ConnectionStates& states, ConnectSequence& sequence, QObject* parent)
    : QObject(parent), m_states(states), m_sequence(sequence) {
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &Reconnector::tryNow);
    ConnectionEvents& events = ConnectionEvents::shared();
    // After the drop's own announcements are through.
    connect(&events, &ConnectionEvents::unexpectedDrop, this, &Reconnector::dropped,
            Qt::QueuedConnection);
    connect(&events, &ConnectionEvents::connected, this, [this] {
        if (m_reconnecting)
            qCInfo(lcReconnect) << "reconnected after" << m_tries << "tries";
        stop();
    });
    // The failover gave up, or an attempt ended without it (an IKEv2 server it had no
    // stage for): the next try after the pause.
    for (auto ended : {&ConnectionEvents::allServersFailed, &ConnectionEvents::disconnected})
        connect(&events, ended, this, [this] {
            if (m_reconnecting && !m_pause.isActive())
                waitForNextTry();
        });
    // The service said no (an expired account, maintenance): its alert asks the user.
    connect(&events, &ConnectionEvents::connectRefused, this, &Reconnector::stop);
}

Reconnector::~Reconnector() {
    if (m_reconnecting)
        ConnectionEvents::shared().setReconnecting(false);
}

void Reconnector::dropped() {
    if (m_reconnecting || appState().isConnected || !reconnectWanted())
        return;
    qCInfo(lcReconnect) << "the tunnel dropped; reconnecting by itself";
    m_reconnecting = true;
    m_tries = 0;
    ConnectionEvents::shared().setReconnecting(true);
    // The rules of an attempt, not of a tunnel: the service's names must resolve again.
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->attemptStarting({appState().currentServer}, {[] {}, [](const QString&) {}});
    waitForNextTry();
}

void Reconnector::waitForNextTry() {
    const int pause = kPausesMs.at(std::min<size_t>(m_tries, kPausesMs.size() - 1));
    if (!appState().isConnecting)
        m_states.showConnecting();
    if (ConnectionView* view = m_states.view())
        view->showFailoverMessage(localized(QStringLiteral("RECONNECTING")));
    m_pause.start(pause);
}

void Reconnector::tryNow() {
    if (!m_reconnecting)
        return;
    // A try's failover may still be at work: its outcome comes first.
    if (attemptUnderway()) {
        m_pause.start();
        return;
    }
    ++m_tries;
    qCInfo(lcReconnect) << "reconnect try" << m_tries;
    m_sequence.reconnect();
}

bool Reconnector::attemptUnderway() const {
    const AppState& state = appState();
    return m_sequence.isCheckOutstanding() ||
           (state.failoverTimer && state.failoverTimer->isActive());
}

void Reconnector::stop() {
    m_pause.stop();
    if (!std::exchange(m_reconnecting, false))
        return;
    ConnectionEvents::shared().setReconnecting(false);
}
