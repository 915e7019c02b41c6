#pragma once

#include "platform/Firewall.h"

#include <QMutex>
#include <QStringList>

// Records the rulesets it is given, in nft's own words (NftJsonText); jobs run on the
// kill switch's thread, so the record is locked. Loading succeeds unless told otherwise.
class RecordingFirewall final : public Firewall {
public:
    Job load(const QByteArray& ruleset) override;

    QStringList loaded() const;
    // The ruleset the last successful job loaded; empty before one.
    QString current() const;
    // What each load from now on ends with instead of Loaded.
    void setRefusing(Outcome outcome);

private:
    mutable QMutex m_lock;
    QStringList m_loaded;
    QString m_current;
    Outcome m_outcome = Outcome::Loaded;
};
