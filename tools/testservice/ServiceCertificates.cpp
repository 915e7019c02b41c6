#include "ServiceCertificates.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <memory>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

const char* const kCaCert = "ca.pem";
const char* const kCaKey = "ca-key.pem";
const char* const kServerCert = "server.pem";
const char* const kServerKey = "server-key.pem";

constexpr long kDay = 24 * 60 * 60;

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

QString path(const QString& dir, const char* name) {
    return QDir(dir).filePath(QLatin1String(name));
}

KeyPtr newKey() {
    return KeyPtr(EVP_EC_gen("P-256"));
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

CertPtr newCertificate(EVP_PKEY* key, const char* commonName, long validDays, X509* issuer,
                       EVP_PKEY* issuerKey) {
    CertPtr cert(X509_new());
    if (!cert)
        return nullptr;
    X509_set_version(cert.get(), 2);
    // Random serials keep a regenerated certificate from clashing with a cached one.
    BIGNUM* serial = BN_new();
    BN_rand(serial, 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get()));
    BN_free(serial);
    // Backdated an hour so a clock a little behind still accepts it.
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), validDays * kDay);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("OrvelVPN test service"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));

    bool ok = addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer) {
        ok = ok && addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
        ok = ok && addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        ok = ok && addExtension(cert.get(), signer, NID_key_usage,
                                "critical,digitalSignature,keyEncipherment");
        ok = ok && addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        ok = ok && addExtension(cert.get(), signer, NID_subject_alt_name,
                                "DNS:localhost,IP:127.0.0.1,IP:127.0.0.2,IP:127.0.0.3,"
                                "IP:127.0.0.4,IP:127.0.0.5,IP:127.0.0.6,IP:127.0.0.7,"
                                "IP:127.0.0.8,IP:127.0.0.9");
    } else {
        ok = ok && addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        ok = ok && addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    if (!ok || X509_sign(cert.get(), issuerKey, EVP_sha256()) <= 0)
        return nullptr;
    return cert;
}

QByteArray certPem(X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), cert);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<int>(size));
}

QByteArray keyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<int>(size));
}

bool writeFile(const QString& filePath, const QByteArray& data, bool secret) {
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (secret)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(data);
    return file.commit();
}

QByteArray readFile(const QString& filePath) {
    QFile file(filePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

CertPtr parseCert(const QByteArray& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
    return CertPtr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

KeyPtr parseKey(const QByteArray& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
    return KeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

// Still valid a day from now, so a long test run does not cross the end.
bool validForADay(X509* cert) {
    time_t inADay = time(nullptr) + kDay;
    return X509_cmp_time(X509_get0_notAfter(cert), &inADay) > 0 &&
           X509_cmp_time(X509_get0_notBefore(cert), nullptr) < 0;
}

} // namespace

bool ServiceCertificates::ensure(const QString& stateDir) {
    m_error.clear();
    m_created = false;
    if (!QDir().mkpath(stateDir)) {
        m_error = QStringLiteral("cannot create %1").arg(stateDir);
        return false;
    }
    m_caFile = path(stateDir, kCaCert);
    if (load(stateDir))
        return true;
    m_created = true;
    const bool ready = create(stateDir) && load(stateDir);
    if (ready)
        m_error.clear();
    return ready;
}

bool ServiceCertificates::load(const QString& stateDir) {
    const QByteArray caPem = readFile(path(stateDir, kCaCert));
    const QByteArray caKeyPem = readFile(path(stateDir, kCaKey));
    const QByteArray serverPem = readFile(path(stateDir, kServerCert));
    const QByteArray serverKeyPem = readFile(path(stateDir, kServerKey));
    const CertPtr ca = parseCert(caPem);
    const KeyPtr caKey = parseKey(caKeyPem);
    const CertPtr server = parseCert(serverPem);
    const KeyPtr serverKey = parseKey(serverKeyPem);
    if (!ca || !caKey || !server || !serverKey) {
        m_error = QStringLiteral("certificate files missing or unreadable");
        return false;
    }
    EVP_PKEY* caPublic = X509_get0_pubkey(ca.get());
    const bool usable = X509_check_private_key(ca.get(), caKey.get()) == 1 &&
                        X509_check_private_key(server.get(), serverKey.get()) == 1 &&
                        X509_check_ca(ca.get()) >= 1 && X509_verify(server.get(), caPublic) == 1 &&
                        validForADay(ca.get()) && validForADay(server.get()) &&
                        X509_check_ip_asc(server.get(), "127.0.0.9", 0) == 1;
    if (!usable) {
        m_error = QStringLiteral("certificate files do not fit together or have expired");
        return false;
    }
    m_caCertificate = QSslCertificate(caPem, QSsl::Pem);
    m_serverCertificate = QSslCertificate(serverPem, QSsl::Pem);
    m_serverKey = QSslKey(serverKeyPem, QSsl::Ec, QSsl::Pem);
    if (m_caCertificate.isNull() || m_serverCertificate.isNull() || m_serverKey.isNull()) {
        m_error = QStringLiteral("Qt cannot read the certificate files");
        return false;
    }
    return true;
}

bool ServiceCertificates::create(const QString& stateDir) {
    const KeyPtr caKey = newKey();
    const KeyPtr serverKey = newKey();
    if (!caKey || !serverKey) {
        m_error = QStringLiteral("key generation failed");
        return false;
    }
    const CertPtr ca =
        newCertificate(caKey.get(), "OrvelVPN test service CA", 3650, nullptr, caKey.get());
    if (!ca) {
        m_error = QStringLiteral("CA certificate could not be made");
        return false;
    }
    const CertPtr server = newCertificate(serverKey.get(), "localhost", 825, ca.get(), caKey.get());
    if (!server) {
        m_error = QStringLiteral("server certificate could not be made");
        return false;
    }
    // Keys first: a crash in between leaves files that fail the load and get remade.
    const bool written = writeFile(path(stateDir, kCaKey), keyPem(caKey.get()), true) &&
                         writeFile(path(stateDir, kServerKey), keyPem(serverKey.get()), true) &&
                         writeFile(path(stateDir, kServerCert), certPem(server.get()), false) &&
                         writeFile(path(stateDir, kCaCert), certPem(ca.get()), false);
    if (!written)
        m_error = QStringLiteral("cannot write the certificate files in %1").arg(stateDir);
    return written;
}
