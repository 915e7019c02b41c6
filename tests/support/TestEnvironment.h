#pragma once

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class MemoryPreferences;
class NotificationCenter;
class RecordingAlerts;
class RecordingBrowser;

// Every test starts from fresh shared state, an English string table and doubles for
// the preferences, notifications, alerts and browser.
class OrvelTest : public ::testing::Test {
protected:
    OrvelTest();
    ~OrvelTest() override;

    MemoryPreferences& preferences() { return *m_preferences; }
    NotificationCenter& notifications() { return *m_notifications; }
    RecordingAlerts& alerts() { return *m_alerts; }
    RecordingBrowser& browser() { return *m_browser; }
    QString tempPath() const { return m_temp.path(); }

private:
    QTemporaryDir m_temp;
    std::unique_ptr<MemoryPreferences> m_preferences;
    std::unique_ptr<NotificationCenter> m_notifications;
    std::unique_ptr<RecordingAlerts> m_alerts;
    std::unique_ptr<RecordingBrowser> m_browser;
};

// Runs the event loop until `done` holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);
