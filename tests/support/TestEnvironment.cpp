#include "support/TestEnvironment.h"

#include "connection/TimerManager.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "platform/NotificationCenter.h"
#include "platform/PasswordItems.h"
#include "support/MemoryItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingBrowser.h"
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
