#include "support/StatusNotifierWatcher.h"

QStringList StatusNotifierWatcher::items() const {
    QMutexLocker lock(&m_lock);
    return m_items;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service) {
    QMutexLocker lock(&m_lock);
    m_items << service;
}
