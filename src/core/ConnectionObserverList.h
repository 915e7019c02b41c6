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
        struct Pending {
            qsizetype left;
            bool decided = false;
            AttemptGate gate;
        };
        auto pending = std::make_shared<Pending>(Pending{m_observers.size(), false, gate});
        if (m_observers.isEmpty() && gate.proceed)
            gate.proceed();
        for (ConnectionObserver* observer : m_observers)
            observer->attemptStarting(
                servers, {[pending] {
                              if (--pending->left == 0 && !pending->decided) {
                                  pending->decided = true;
                                  if (pending->gate.proceed)
                                      pending->gate.proceed();
                              }
                          },
                          [pending](const QString& reason) {
                              if (std::exchange(pending->decided, true))
                                  return;
                              if (pending->gate.refuse)
                                  pending->gate.refuse(reason);
                          }});
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
    QList<ConnectionObserver*> m_observers;
};
