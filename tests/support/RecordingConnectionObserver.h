#pragma once

#include "core/ConnectionObserver.h"

#include <QStringList>

// Records what the connection code tells the features built on it, by name. An attempt
// proceeds at once unless a refusal is set; with `holding`, its gate waits in `gate`.
class RecordingConnectionObserver final : public ConnectionObserver {
public:
    void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers,
                         AttemptGate attempt) override {
        events << QStringLiteral("attemptStarting %1").arg(servers.size());
        if (holding)
            gate = std::move(attempt);
        else if (refusal.isEmpty())
            attempt.proceed();
        else
            attempt.refuse(refusal);
    }
    void tunnelConnected() override { events << QStringLiteral("tunnelConnected"); }
    void userDisconnected() override { events << QStringLiteral("userDisconnected"); }
    void quitting() override { events << QStringLiteral("quitting"); }

    QStringList events;
    QString refusal;
    bool holding = false;
    AttemptGate gate;
};
