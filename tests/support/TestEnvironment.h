#pragma once

#include "platform/PasswordItems.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class MemoryItemStore;
class MemoryPreferences;
class NotificationCenter;
class RecordingAlerts;
class RecordingBrowser;

// Every test starts from fresh shared state, an English string table and doubles for
// the preferences, the item store, notifications, alerts and browser.
class OrvelTest : public ::testing::Test {
protected:
    OrvelTest();
    ~OrvelTest() override;

    MemoryPreferences& preferences() { return *m_preferences; }
    MemoryItemStore& items() { return *m_items; }
    // What a runner needs to read the passwords statements name in items().
    PasswordItems passwordItems();
    // The administrator password kept as the client keeps it.
    void keepAdminPassword(const QString& password);
    NotificationCenter& notifications() { return *m_notifications; }
    RecordingAlerts& alerts() { return *m_alerts; }
    RecordingBrowser& browser() { return *m_browser; }
    QString tempPath() const { return m_temp.path(); }

private:
    QTemporaryDir m_temp;
    std::unique_ptr<MemoryPreferences> m_preferences;
    std::unique_ptr<MemoryItemStore> m_items;
    std::unique_ptr<NotificationCenter> m_notifications;
    std::unique_ptr<RecordingAlerts> m_alerts;
    std::unique_ptr<RecordingBrowser> m_browser;
};

// Runs the event loop until `done` holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// The file's bytes; "<missing>" when it cannot be read, which equals no content a test expects.
QByteArray readFile(const QString& path);
// The whole content written, its folder made first; `executable` adds the execute bits.
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& content,
                             bool executable = false);
