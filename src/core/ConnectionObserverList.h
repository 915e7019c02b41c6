#pragma once

#include "core/ConnectionObserver.h"

#include <QList>

// Several features hear of the user's tunnel through the one observer the connection
// code is given.
class ConnectionObserverList final : public ConnectionObserver {
public:
    explicit ConnectionObserverList(QList<ConnectionObserver*> observers)
        : m_observers(std::move(observers)) {}

    void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers) override {
        for (ConnectionObserver* observer : m_observers)
            observer->attemptStarting(servers);
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
