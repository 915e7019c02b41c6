#pragma once

#include "core/ConnectionObserver.h"

#include <QStringList>

// Records what the connection code tells the features built on it, by name.
class RecordingConnectionObserver final : public ConnectionObserver {
public:
    void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers) override {
        events << QStringLiteral("attemptStarting %1").arg(servers.size());
    }
    void tunnelConnected() override { events << QStringLiteral("tunnelConnected"); }
    void userDisconnected() override { events << QStringLiteral("userDisconnected"); }
    void quitting() override { events << QStringLiteral("quitting"); }

    QStringList events;
};
