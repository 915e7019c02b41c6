#pragma once

#include "core/ConnectionObserver.h"

#include <QObject>
#include <QTimer>
#include <array>

class ConnectSequence;
class ConnectionStates;

// After an unexpected drop, connects again by itself ("reconnect automatically", on by
// default) to the same server and protocol, through the connect sequence: permission,
// supervision and failover as on a press. Tries are spaced by a growing pause until one
// connects or the user ends it (a disconnect, a sign-out, quit). The connecting look stays
// up meanwhile, and so do the kill switch's rules; the user hears of the drop and of the
// reconnect, not of each try.
class Reconnector final : public QObject, public ConnectionObserver {
    Q_OBJECT
public:
    // The pause before the first try, the second..., then the last one over and over.
    static constexpr std::array<int, 5> kPausesMs = {2000, 5000, 10000, 30000, 60000};

    Reconnector(ConnectionStates& states, ConnectSequence& sequence, QObject* parent = nullptr);
    ~Reconnector() override;

    bool isReconnecting() const { return m_reconnecting; }
    int triesMade() const { return m_tries; }

    // ConnectionObserver: the user's end of the connection ends the reconnecting too.
    void attemptStarting(const QList<std::shared_ptr<ServerData>>&, AttemptGate gate) override {
        if (gate.proceed)
            gate.proceed();
    }
    void tunnelConnected() override {}
    void userDisconnected() override { stop(); }
    void quitting() override { stop(); }

private:
    void dropped();
    void waitForNextTry();
    void tryNow();
    void stop();
    bool attemptUnderway() const;

    ConnectionStates& m_states;
    ConnectSequence& m_sequence;
    QTimer m_pause;
    bool m_reconnecting = false;
    int m_tries = 0;
};
