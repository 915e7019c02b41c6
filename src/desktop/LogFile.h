#pragma once

#include "desktop/Redactor.h"

#include <QFile>
#include <QMutex>
#include <QString>

// The client's log under $XDG_STATE_HOME/orvelvpn/: the orvel.* categories and the
// diagnostic lines, secrets redacted, rotated so that it never holds more than a few MB.
// One per process: it installs itself as the Qt message handler and the diagnostic sink.
class LogFile {
public:
    static constexpr qint64 kMaxBytes = qint64{1024} * 1024;
    static constexpr int kKeptFiles = 3;

    explicit LogFile(QString folder = defaultFolder());
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    static QString defaultFolder();
    QString folder() const { return m_folder; }
    // The current file first, then the rotated ones that exist.
    QStringList files() const;

    void write(const QString& category, const QString& message);

private:
    QString path(int generation) const;
    void rotate();

    QString m_folder;
    QMutex m_mutex;
    QFile m_file;
    Redactor m_redactor;
};
