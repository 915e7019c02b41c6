#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

class Preferences;

// "Export diagnostics": one ZIP archive with the logs, the versions of the client, Qt,
// OpenVPN and strongSwan, the interfaces and routes, and the preferences, everything
// passed through the redactor so that no password, token or cookie leaves the machine.
class DiagnosticsExport {
public:
    // Runs a command and returns what it printed ("" when it could not run).
    using RunCommand = std::function<QString(const QStringList& command)>;

    DiagnosticsExport(QStringList logFiles, const Preferences& preferences, RunCommand run);

    // Secrets known right now (the VPN account, the administrator, the session), matched
    // literally on top of the field patterns.
    static QStringList currentSecrets(const Preferences& preferences);
    static QString runWithTimeout(const QStringList& command);

    // Written in a private folder beside it and moved into place, readable by the user
    // alone from its first byte.
    bool write(const QString& archivePath, QString* error) const;
    // Name and content of each archive entry.
    QList<QPair<QString, QByteArray>> entries() const;

private:
    bool writeArchive(const QString& path, QString* error) const;
    QString versions() const;
    QString network() const;
    QString preferencesText() const;

    QStringList m_logFiles;
    const Preferences& m_preferences;
    RunCommand m_run;
};
