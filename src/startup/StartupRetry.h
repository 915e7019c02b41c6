#pragma once

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <functional>

// Runs a start-up step again that could not go on: as soon as a route appears, or after a
// pause that doubles up to a limit, whichever comes first.
class StartupRetry final : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstPauseMs = 2000;
    static constexpr int kMaxPauseMs = 60000;

    explicit StartupRetry(QObject* parent = nullptr);
    ~StartupRetry() override;

    // Replaces the step that was waiting, if any.
    void schedule(std::function<void()> step);
    bool isPending() const { return static_cast<bool>(m_step); }
    int nextPauseMs() const { return m_pauseMs; }

private:
    void routesChanged();
    void runNow();
    void stopWatching();

    QTimer m_timer;
    std::function<void()> m_step;
    int m_pauseMs = kFirstPauseMs;
    QMetaObject::Connection m_routes;
};
