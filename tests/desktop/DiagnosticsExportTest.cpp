#include "desktop/DiagnosticsExport.h"

#include "core/AppState.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QFile>
#include <QFileInfo>
#include <zip.h>

namespace {
const QStringList kSecrets{"vpn-Pw-6151",  "Adm1n-Pass!",  "csrf-TOKEN-77",
                           "sess-ID-9931", "acct-Pw-4410", "psk-Secret-5"};

// Every entry of the archive, read back through libzip.
QMap<QString, QByteArray> unpack(const QString& path) {
    QMap<QString, QByteArray> entries;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!archive)
        return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t info;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &info);
        QByteArray bytes(static_cast<qsizetype>(info.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        zip_fread(file, bytes.data(), info.size);
        zip_fclose(file);
        entries.insert(QString::fromUtf8(info.name), bytes);
    }
    zip_close(archive);
    return entries;
}
} // namespace

class DiagnosticsExportTest : public OrvelTest {};

TEST_F(DiagnosticsExportTest, Archive_HoldsEverySectionAndNoneOfTheSecrets) {
    AppState& state = appState();
    state.vpnPassword = kSecrets[0];
    ASSERT_TRUE(KeychainWrapper::shared().writeString(kSecrets[1], kAdminPasswordItem));
    state.csrfToken = kSecrets[2];
    state.sessionId = kSecrets[3];
    preferences().setValue("email", "user@example.test");
    preferences().setValue("password", kSecrets[4]);
    preferences().setValue("userpassword", kSecrets[1]);
    preferences().setValue("PSK_KEY", kSecrets[5]);
    // A log from before redaction existed, and command output that quotes a secret.
    const QString logPath = tempPath() + "/orvelvpn.log";
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write(("auth " + kSecrets[0] + " admin " + kSecrets[1] +
               "\nCookie: csrftoken=" + kSecrets[2] + "; sessionid=" + kSecrets[3] + "\n")
                  .toUtf8());
    log.close();
    QStringList commandsRun;
    const DiagnosticsExport diagnostics({logPath}, preferences(), [&](const QStringList& command) {
        commandsRun << command.join(' ');
        return command.first() == "openvpn" ? QString("OpenVPN 2.6.3 x86_64\nmore")
                                            : "10.8.0.2 dev utun0 user " + kSecrets[0];
    });

    QString error;
    const QString archive = tempPath() + "/diagnostics.zip";
    ASSERT_TRUE(diagnostics.write(archive, &error)) << qPrintable(error);
    EXPECT_EQ(QFileInfo(archive).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions());
    const QMap<QString, QByteArray> entries = unpack(archive);
    EXPECT_EQ(entries.keys(),
              QStringList({"logs/orvelvpn.log", "network.txt", "preferences.txt", "versions.txt"}));
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        for (const QString& secret : kSecrets)
            EXPECT_FALSE(entry.value().contains(secret.toUtf8()))
                << qPrintable(entry.key() + ": " + secret);
    }
    EXPECT_TRUE(entries["versions.txt"].contains("openvpn: OpenVPN 2.6.3 x86_64\n"));
    EXPECT_TRUE(entries["network.txt"].contains("10.8.0.2 dev utun0"));
    EXPECT_TRUE(entries["preferences.txt"].contains("email = user@example.test"));
    EXPECT_TRUE(commandsRun.contains("ip address"));
}

TEST_F(DiagnosticsExportTest, UnwritableTarget_FailsWithAReasonAndLeavesNothing) {
    const DiagnosticsExport diagnostics({}, preferences(),
                                        [](const QStringList&) { return QString(); });
    QString error;
    EXPECT_FALSE(diagnostics.write(tempPath() + "/missing/folder/d.zip", &error));
    EXPECT_FALSE(error.isEmpty());
}
