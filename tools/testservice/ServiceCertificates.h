#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The service's own certificate authority and its server certificate (valid for
// localhost and 127.0.0.1 to 127.0.0.9), kept as PEM files in the state folder so
// that a client told to trust the CA keeps trusting it across restarts.
class ServiceCertificates final {
public:
    // Loads the files when they are present and still usable, otherwise makes new ones.
    bool ensure(const QString& stateDir);

    QString errorString() const { return m_error; }
    QString caFile() const { return m_caFile; }
    bool wasCreated() const { return m_created; }
    QSslCertificate caCertificate() const { return m_caCertificate; }
    QSslCertificate serverCertificate() const { return m_serverCertificate; }
    QSslKey serverKey() const { return m_serverKey; }

private:
    bool load(const QString& stateDir);
    bool create(const QString& stateDir);

    QString m_error;
    QString m_caFile;
    bool m_created = false;
    QSslCertificate m_caCertificate;
    QSslCertificate m_serverCertificate;
    QSslKey m_serverKey;
};
