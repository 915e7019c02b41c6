#include "StatusNotifierHost.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>

namespace {
const QString kConnection = QStringLiteral("orvel-status-notifier-host");

// One node of a dbusmenu layout: (ia{sv}av).
struct LayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<LayoutItem> children;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, LayoutItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children << qdbus_cast<LayoutItem>(child.variant().value<QDBusArgument>());
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

void fill(QMenu& menu, const QList<LayoutItem>& items) {
    for (const LayoutItem& item : items) {
        if (item.properties.value(QStringLiteral("visible"), true).toBool() == false)
            continue;
        if (item.properties.value(QStringLiteral("type")).toString() ==
            QLatin1String("separator")) {
            menu.addSeparator();
            continue;
        }
        const QString label = item.properties.value(QStringLiteral("label")).toString();
        QAction* action = nullptr;
        if (item.properties.value(QStringLiteral("children-display")).toString() ==
            QLatin1String("submenu")) {
            QMenu* submenu = menu.addMenu(label);
            fill(*submenu, item.children);
            action = submenu->menuAction();
        } else {
            action = menu.addAction(label);
        }
        action->setEnabled(item.properties.value(QStringLiteral("enabled"), true).toBool());
    }
}
} // namespace

StatusNotifierHost::StatusNotifierHost(QObject* parent)
    : QObject(parent),
      m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection)) {
    m_watcher.moveToThread(&m_thread);
    m_thread.start();
}

StatusNotifierHost::~StatusNotifierHost() {
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(kConnection);
}

bool StatusNotifierHost::listen() {
    return m_bus.isConnected() &&
           m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                QDBusConnection::ExportAllSlots |
                                    QDBusConnection::ExportAllProperties) &&
           m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

// Asked without blocking: the item answers from this very process's event loop.
QMenu* StatusNotifierHost::readMenu() {
    const QStringList registered = items();
    if (registered.isEmpty())
        return nullptr;
    QDBusMessage call = QDBusMessage::createMethodCall(
        registered.first(), QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
        QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    QDBusPendingCallWatcher watcher(m_bus.asyncCall(call));
    QEventLoop loop;
    connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QDBusMessage reply = watcher.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return nullptr;
    const LayoutItem root = qdbus_cast<LayoutItem>(reply.arguments().at(1).value<QDBusArgument>());
    m_menu.clear();
    fill(m_menu, root.children);
    return &m_menu;
}
