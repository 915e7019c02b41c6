#include "SettingsPackage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

namespace {

// Opens the package with libzip, as the client does.
class PackageReader {
public:
    explicit PackageReader(const QByteArray& data) : m_data(data) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source =
            zip_source_buffer_create(m_data.constData(), m_data.size(), 0, &error);
        m_archive =
            source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
        if (source && !m_archive)
            zip_source_free(source);
        zip_error_fini(&error);
    }
    ~PackageReader() {
        if (m_archive)
            zip_discard(m_archive);
    }

    bool isOpen() const { return m_archive != nullptr; }

    QStringList names() const {
        QStringList list;
        for (zip_int64_t i = 0; i < zip_get_num_entries(m_archive, 0); ++i)
            list.append(QString::fromUtf8(zip_get_name(m_archive, i, 0)));
        return list;
    }

    mode_t mode(const char* name) const {
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        const zip_int64_t index = zip_name_locate(m_archive, name, 0);
        if (index < 0 ||
            zip_file_get_external_attributes(m_archive, index, 0, &system, &attributes) < 0 ||
            system != ZIP_OPSYS_UNIX)
            return 0;
        return attributes >> 16;
    }

    QByteArray read(const char* name) const {
        zip_stat_t stat;
        if (zip_stat(m_archive, name, 0, &stat) < 0)
            return {};
        zip_file_t* file = zip_fopen(m_archive, name, 0);
        if (!file)
            return {};
        QByteArray data(static_cast<qsizetype>(stat.size), '\0');
        const zip_int64_t got = zip_fread(file, data.data(), stat.size);
        zip_fclose(file);
        return got == static_cast<zip_int64_t>(stat.size) ? data : QByteArray();
    }

private:
    QByteArray m_data;
    zip_t* m_archive = nullptr;
};

TEST(SettingsPackageTest, Build_HoldsExecutableLauncherAndSupportFolders) {
    QString error;
    const QByteArray data = SettingsPackage::build(&error);
    ASSERT_FALSE(data.isEmpty()) << error.toStdString();
    PackageReader package(data);
    ASSERT_TRUE(package.isOpen());

    const QStringList names = package.names();
    EXPECT_TRUE(names.contains("openvpn"));
    EXPECT_TRUE(names.contains("Cellar/orvel/README"));
    EXPECT_TRUE(names.contains("opt/orvel/README"));
    for (const QString& name : names)
        EXPECT_TRUE(name == "openvpn" || name.startsWith("Cellar/") || name.startsWith("opt/"))
            << name.toStdString();

    EXPECT_EQ(package.mode("openvpn") & 0777, 0755u);
    EXPECT_TRUE(S_ISREG(package.mode("openvpn")));
    EXPECT_TRUE(S_ISDIR(package.mode("Cellar/")));
    EXPECT_EQ(package.read("openvpn"), SettingsPackage::launcherScript());
}

// The first utunN free on this machine, as the launcher computes it.
QString firstFreeUtun() {
    for (int n = 0; n <= 10; ++n) {
        const QString name = QStringLiteral("utun%1").arg(n);
        if (!QFile::exists(QStringLiteral("/sys/class/net/") + name))
            return name;
    }
    return {};
}

TEST(SettingsPackageTest, Launcher_PassesConfigAndFreeTunnelToOpenVpn) {
    QTemporaryDir dir;
    const QString launcher = QDir(dir.path()).filePath("openvpn");
    const QString fake = QDir(dir.path()).filePath("fake-openvpn");
    QFile launcherFile(launcher);
    ASSERT_TRUE(launcherFile.open(QIODevice::WriteOnly));
    launcherFile.write(PackageReader(SettingsPackage::build()).read("openvpn"));
    launcherFile.close();
    QFile fakeFile(fake);
    ASSERT_TRUE(fakeFile.open(QIODevice::WriteOnly));
    fakeFile.write("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done\n");
    fakeFile.close();
    fakeFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORVEL_OPENVPN_BIN", fake);
    process.setProcessEnvironment(environment);
    process.start("/bin/sh", {launcher, "/tmp/my config.ovpn"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QStringList arguments =
        QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(arguments, (QStringList{"--config", "/tmp/my config.ovpn", "--dev", firstFreeUtun(),
                                      "--dev-type", "tun"}));

    process.start("/bin/sh", {launcher});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_NE(process.exitCode(), 0);
}

} // namespace
