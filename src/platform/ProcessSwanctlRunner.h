#pragma once

#include "platform/SwanctlRunner.h"

#include <QObject>

// swanctl as a child process, optionally behind a wrapper command (for example
// "ip netns exec NAME" to reach a daemon in another network namespace).
class ProcessSwanctlRunner final : public QObject, public SwanctlRunner {
    Q_OBJECT
public:
    ProcessSwanctlRunner(QStringList wrapper, QString program = QStringLiteral("swanctl"),
                         QObject* parent = nullptr);

    void run(const QStringList& arguments, std::function<void(const Result&)> done) override;

    // A command that outlives this is killed; its own --timeout normally ends it first.
    static constexpr int kLimitMs = 120000;

private:
    QStringList m_wrapper;
    QString m_program;
};
