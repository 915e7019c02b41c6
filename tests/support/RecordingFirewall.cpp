#include "support/RecordingFirewall.h"

#include "support/NftJsonText.h"

Firewall::Job RecordingFirewall::load(const QByteArray& ruleset) {
    return [this, text = nftJsonText(ruleset)] {
        QMutexLocker lock(&m_lock);
        m_loaded.append(text);
        if (m_outcome == Outcome::Loaded)
            m_current = text;
        return m_outcome;
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

void RecordingFirewall::setRefusing(Outcome outcome) {
    QMutexLocker lock(&m_lock);
    m_outcome = outcome;
}
