#include "ServiceCertificates.h"

#include "TestService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ServiceCertificatesTest, Create_MakesACaAndALoopbackServerCertificate) {
    QTemporaryDir dir;
    ServiceCertificates certificates;
    ASSERT_TRUE(certificates.ensure(dir.path())) << certificates.errorString().toStdString();
    EXPECT_TRUE(certificates.wasCreated());
    EXPECT_EQ(certificates.caFile(), QDir(dir.path()).filePath("ca.pem"));

    const QSslCertificate ca = certificates.caCertificate();
    const QSslCertificate server = certificates.serverCertificate();
    EXPECT_TRUE(ca.isSelfSigned());
    EXPECT_EQ(server.issuerDisplayName(), ca.subjectDisplayName());
    const auto names = server.subjectAlternativeNames();
    EXPECT_TRUE(names.values(QSsl::DnsEntry).contains("localhost"));
    EXPECT_TRUE(names.values(QSsl::IpAddressEntry).contains("127.0.0.1"));
    EXPECT_TRUE(names.values(QSsl::IpAddressEntry).contains("127.0.0.9"));
    EXPECT_FALSE(certificates.serverKey().isNull());

    // Private keys are readable by the owner only.
    for (const char* key : {"ca-key.pem", "server-key.pem"}) {
        const auto permissions = QFile::permissions(QDir(dir.path()).filePath(key));
        EXPECT_EQ(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0) << key;
    }
}

TEST(ServiceCertificatesTest, Ensure_ReusesGoodFilesAndReplacesBrokenOnes) {
    QTemporaryDir dir;
    ServiceCertificates first;
    ASSERT_TRUE(first.ensure(dir.path()));
    const QByteArray firstCa = readFile(first.caFile());

    ServiceCertificates second;
    ASSERT_TRUE(second.ensure(dir.path()));
    EXPECT_FALSE(second.wasCreated());
    EXPECT_EQ(readFile(second.caFile()), firstCa);

    // A server certificate that no longer matches its key forces a new set.
    QFile server(QDir(dir.path()).filePath("server.pem"));
    ASSERT_TRUE(server.open(QIODevice::WriteOnly));
    server.write(first.caCertificate().toPem());
    server.close();
    ServiceCertificates third;
    ASSERT_TRUE(third.ensure(dir.path()));
    EXPECT_TRUE(third.wasCreated());
    EXPECT_NE(readFile(third.caFile()), firstCa);
}

TEST(ServiceCertificatesTest, Restart_WithTheSameStateDirKeepsTheCa) {
    QTemporaryDir dir;
    TestService::Options options;
    options.stateDir = dir.path();
    options.hostCount = 1;
    QByteArray firstCa;
    {
        TestService service;
        ASSERT_TRUE(service.start(options));
        firstCa = readFile(service.caFile());
    }
    TestService service;
    ASSERT_TRUE(service.start(options));
    EXPECT_EQ(readFile(service.caFile()), firstCa);
}

} // namespace
