#pragma once

#include "platform/HostResolver.h"

#include <QObject>
#include <QTimer>

// Answers from a table, on the next turn of the event loop; names it does not hold do
// not resolve. Records what it was asked.
class FixedHostResolver final : public HostResolver {
public:
    void lookUp(const QStringList& names, int /*timeoutMs*/,
                std::function<void(const Addresses&)> done) override {
        asked.append(names);
        Addresses found;
        for (const QString& name : names) {
            if (table.contains(name))
                found.insert(name, table.value(name));
        }
        QTimer::singleShot(0, &m_context, [found, done = std::move(done)] { done(found); });
    }

    QList<QHostAddress> configuredServers() const override { return servers; }

    Addresses table;
    QList<QHostAddress> servers;
    QList<QStringList> asked;

private:
    QObject m_context;
};
