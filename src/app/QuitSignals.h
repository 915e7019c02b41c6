#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// SIGTERM and SIGINT become a quit request on the main thread, so a terminal or a
// session manager ending the client goes through the same tunnel teardown as the menu.
class QuitSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
