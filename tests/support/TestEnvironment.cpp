#include "support/TestEnvironment.h"

#include "app/AppState.h"
#include "app/LocalizeStrings.h"
#include "app/Services.h"
#include "connection/TimerManager.h"
#include "platform/MemoryItemStore.h"
#include "platform/MemoryPreferences.h"
#include "platform/NotificationCenter.h"
#include "platform/PasswordItems.h"
#include "platform/RecordingAlerts.h"
#include "platform/RecordingBrowser.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

OrvelTest::OrvelTest()
    : m_preferences(std::make_unique<MemoryPreferences>()),
      m_items(std::make_unique<MemoryItemStore>()),
      m_notifications(std::make_unique<NotificationCenter>()),
      m_alerts(std::make_unique<RecordingAlerts>()),
      m_browser(std::make_unique<RecordingBrowser>()) {
    resetAppState();
    TimerManager::reset();
    LocalizeStrings::shared().setLanguage(QStringLiteral("en"));
    services() = Services{};
    services().preferences = m_preferences.get();
    services().itemStore = m_items.get();
    services().notifications = m_notifications.get();
    services().alerts = m_alerts.get();
    services().browser = m_browser.get();
}

OrvelTest::~OrvelTest() {
    services() = Services{};
    TimerManager::reset();
}

PasswordItems OrvelTest::passwordItems() {
    return PasswordItems(*m_items, QString::fromLatin1(KeychainWrapper::kDefaultServiceName));
}

void OrvelTest::keepAdminPassword(const QString& password) {
    KeychainWrapper(*m_items, QString::fromLatin1(KeychainWrapper::kDefaultServiceName))
        .writeString(password, kAdminPasswordItem);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& content, bool executable) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner |
                                              QFileDevice::ExeGroup | QFileDevice::ExeOther);
}
