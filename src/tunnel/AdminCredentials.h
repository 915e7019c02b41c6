#pragma once

#include <QString>

class ScriptRunner;

// Proves an administrator's user name and password by a visible effect: a privileged
// statement flips the marker file (removes it when present, creates it otherwise).
class AdminCredentials {
public:
    static constexpr const char* kMarkerPath = "/usr/local/orvel_admin_check.txt";

    explicit AdminCredentials(ScriptRunner& runner, QString markerPath = kMarkerPath);

    // True when the marker flipped; a failed check leaves it as it was.
    bool check(const QString& userName, const QString& password) const;

private:
    ScriptRunner& m_runner;
    QString m_markerPath;
};

// The check through the wired runner and the real marker; false without a runner.
bool checkAdminCredentials(const QString& userName, const QString& password);
