#include "connection/ConnectionEvents.h"

ConnectionEvents& ConnectionEvents::shared() {
    static ConnectionEvents events;
    return events;
}

void ConnectionEvents::announceConnecting() {
    emit connecting();
}

void ConnectionEvents::announceConnected(bool wasConnected) {
    m_disconnectExpected = false;
    if (!wasConnected)
        emit connected();
}

void ConnectionEvents::announceDisconnected(bool wasConnected) {
    const bool unexpected = wasConnected && !m_disconnectExpected;
    m_disconnectExpected = false;
    if (unexpected)
        emit unexpectedDrop();
    emit disconnected();
}

void ConnectionEvents::cancelAttempt() {
    ++m_generation;
    emit attemptCancelled();
}
