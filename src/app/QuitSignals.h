#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class QSessionManager;

// Every request to end the client from outside becomes one quit request on the main
// thread: SIGTERM and SIGINT (a terminal, systemd at logout), the session manager's
// logout and Qt's own quit (the session manager's "die"). So each goes through the same
// tunnel teardown as the tray's Quit, and none can be refused by a window that only hides.
class QuitSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // Catches the application's own quit event and the session's logout.
    void watchApplication(QObject* application);

signals:
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onCommitData(QSessionManager& session);

    std::unique_ptr<QSocketNotifier> m_notifier;
};
