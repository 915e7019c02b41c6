#pragma once

#include "core/ConnectionObserver.h"

#include <QList>
#include <memory>
#include <utility>

// Several features hear of the user's tunnel through the one observer the connection
// code is given.
class ConnectionObserverList final : public ConnectionObserver {
public:
    explicit ConnectionObserverList(QList<ConnectionObserver*> observers)
        : m_observers(std::move(observers)) {}

    // The attempt proceeds once every observer lets it; the first refusal ends it.
    void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers,
                         AttemptGate gate) override {
        if (m_observers.isEmpty()) {
            gate.proceed();
            return;
        }
        auto shared = std::make_shared<SharedGate>(SharedGate{m_observers.size(), false, gate});
        for (ConnectionObserver* observer : m_observers)
            observer->attemptStarting(
                servers, {[shared] { shared->proceedOne(); },
                          [shared](const QString& reason) { shared->refuse(reason); }});
    }
    void tunnelConnected() override {
        for (ConnectionObserver* observer : m_observers)
            observer->tunnelConnected();
    }
    void userDisconnected() override {
        for (ConnectionObserver* observer : m_observers)
            observer->userDisconnected();
    }
    void quitting() override {
        for (ConnectionObserver* observer : m_observers)
            observer->quitting();
    }

private:
    struct SharedGate {
        qsizetype waiting;
        bool decided;
        AttemptGate gate;

        void proceedOne() {
            if (--waiting == 0 && !std::exchange(decided, true))
                gate.proceed();
        }
        void refuse(const QString& reason) {
            if (!std::exchange(decided, true))
                gate.refuse(reason);
        }
    };

    QList<ConnectionObserver*> m_observers;
};
