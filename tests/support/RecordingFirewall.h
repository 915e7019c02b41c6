#pragma once

#include "platform/Firewall.h"

#include <QMutex>
#include <QStringList>

// Records the rulesets it is given; jobs run on the kill switch's thread, so the record
// is locked. Loading succeeds unless told otherwise.
class RecordingFirewall final : public Firewall {
public:
    Job load(const QString& ruleset) override;

    QStringList loaded() const;
    // The ruleset the last successful job loaded; empty before one.
    QString current() const;
    void setRefusing(bool refusing);

private:
    mutable QMutex m_lock;
    QStringList m_loaded;
    QString m_current;
    bool m_refusing = false;
};
