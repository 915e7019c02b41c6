#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>

struct LoggedRequest {
    QString path;
    QString method;
    int hostIndex = -1;          // API host 0..n-1; -1 for the package listener
    QMap<QString, QString> form; // POST body fields, or the query of a GET
    QMap<QString, QString> cookies;
    QDateTime time;
};
Q_DECLARE_METATYPE(LoggedRequest)

// What the service received, in order; optionally mirrored to a JSON-lines file so
// processes other than the tests can follow it.
class RequestLog final {
public:
    void setFile(const QString& path) { m_filePath = path; }
    void append(const LoggedRequest& request);
    void clear() { m_entries.clear(); }
    const QList<LoggedRequest>& entries() const { return m_entries; }

    static QByteArray toJson(const LoggedRequest& request);
    static QByteArray toJsonArray(const QList<LoggedRequest>& requests);

private:
    QList<LoggedRequest> m_entries;
    QString m_filePath;
};
