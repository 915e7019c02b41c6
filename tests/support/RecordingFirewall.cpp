#include "support/RecordingFirewall.h"

Firewall::Job RecordingFirewall::load(const QString& ruleset) {
    return [this, ruleset] {
        QMutexLocker lock(&m_lock);
        m_loaded.append(ruleset);
        if (m_refusing)
            return false;
        m_current = ruleset;
        return true;
    };
}

QStringList RecordingFirewall::loaded() const {
    QMutexLocker lock(&m_lock);
    return m_loaded;
}

QString RecordingFirewall::current() const {
    QMutexLocker lock(&m_lock);
    return m_current;
}

void RecordingFirewall::setRefusing(bool refusing) {
    QMutexLocker lock(&m_lock);
    m_refusing = refusing;
}
