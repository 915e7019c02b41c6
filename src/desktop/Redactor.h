#pragma once

#include "core/Diagnostics.h"

#include <QString>
#include <QStringList>

// Takes secrets out of text bound for a log file or a diagnostics archive: values of
// password, token, cookie and session fields in the forms our lines and replies use,
// AppleScript `password "..."` clauses, and any literal secret it is given.
class Redactor {
public:
    static constexpr const char* kMark = kMaskedSecret;

    explicit Redactor(QStringList knownSecrets = {});

    QString redact(QString text) const;
    // True for a preference or field name that holds a secret.
    static bool isSecretKey(const QString& key);

private:
    QStringList m_knownSecrets;
};
