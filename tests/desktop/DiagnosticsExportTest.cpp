#include "desktop/DiagnosticsExport.h"

#include "core/AppState.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/inotify.h>
#include <unistd.h>
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

class DiagnosticsExportTest : public OrvelTest {
protected:
    // The export's text, with a log of one line and no command output.
    QByteArray exported(const QByteArray& logLine) {
        const QString logPath = tempPath() + "/orvelvpn.log";
        EXPECT_TRUE(writeFile(logPath, logLine));
        const DiagnosticsExport diagnostics({logPath}, preferences(),
                                            [](const QStringList&) { return QString(); });
        QByteArray text;
        for (const auto& [name, bytes] : diagnostics.entries())
            text += name.toUtf8() + ":\n" + bytes + '\n';
        return text;
    }
};

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

// Each secret known in one place only, quoted in the log where no field name gives it
// away: only the export's knowledge of that place can take it out.
struct SecretPlace {
    const char* name;
    void (*keep)(const QString& secret);
};

class SecretInOnePlace : public DiagnosticsExportTest,
                         public ::testing::WithParamInterface<SecretPlace> {};

TEST_P(SecretInOnePlace, IsTakenOutOfTheLog) {
    const QString secret = QStringLiteral("Kx7-opaque-91");
    GetParam().keep(secret);
    const QByteArray text = exported("peer answered " + secret.toUtf8() + " at once\n");
    EXPECT_FALSE(text.contains(secret.toUtf8())) << text.constData();
    EXPECT_TRUE(text.contains("peer answered <redacted> at once")) << text.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Places, SecretInOnePlace,
    ::testing::Values(
        SecretPlace{"AdministratorPasswordItem",
                    [](const QString& secret) {
                        KeychainWrapper::shared().writeString(secret, kAdminPasswordItem);
                    }},
        SecretPlace{"AccountPasswordItem",
                    [](const QString& secret) {
                        KeychainWrapper::shared().writeString(secret, kAccountPasswordItem);
                    }},
        SecretPlace{"VpnPassword", [](const QString& secret) { appState().vpnPassword = secret; }},
        SecretPlace{"CsrfToken", [](const QString& secret) { appState().csrfToken = secret; }},
        SecretPlace{"SessionId", [](const QString& secret) { appState().sessionId = secret; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiagnosticsExportTest, StoredProfile_KeepsItsDirectivesAndLosesEveryInlineBody) {
    preferences().setValue("vpn_selected_config", "client\nremote vpn.orvel.test 1194\n"
                                                  "<ca>\nca-Body-1\n</ca>\n"
                                                  "key-direction 1\n"
                                                  "  <tls-auth>\ntls-Body-2\n  </tls-auth>\n"
                                                  "<key>\nkey-Body-3\n");
    const QByteArray text = exported("");
    for (const char* body : {"ca-Body-1", "tls-Body-2", "key-Body-3"})
        EXPECT_FALSE(text.contains(body)) << body;
    EXPECT_TRUE(text.contains("vpn_selected_config = client\nremote vpn.orvel.test 1194\n"
                              "<ca>\n# removed from the diagnostics\n</ca>\nkey-direction 1\n"
                              "  <tls-auth>\n# removed from the diagnostics\n</tls-auth>\n"
                              "<key>\n# removed from the diagnostics\n"))
        << text.constData();
}

TEST_F(DiagnosticsExportTest, Archive_IsNeverAFileOthersCouldOpenInTheTargetFolder) {
    const QString folder = tempPath() + "/shared";
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7755));
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(
        ::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO),
        0);
    const DiagnosticsExport diagnostics({}, preferences(),
                                        [](const QStringList&) { return QString(); });
    QString error;
    ASSERT_TRUE(diagnostics.write(folder + "/d.zip", &error)) << qPrintable(error);

    // Only a folder (the private one it is written in) is made there; the archive arrives
    // by a move, already owner-only.
    alignas(inotify_event) char buffer[4096];
    const ssize_t size = ::read(watch, buffer, sizeof(buffer));
    ::close(watch);
    QStringList created;
    QStringList moved;
    for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        const QString name = QString::fromLocal8Bit(event->name);
        if (event->mask & IN_MOVED_TO)
            moved << name;
        else if (!(event->mask & IN_ISDIR))
            created << name;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    EXPECT_EQ(created, QStringList());
    EXPECT_EQ(moved, QStringList{"d.zip"});
    EXPECT_EQ(QFileInfo(folder + "/d.zip").permissions() & 0x0077, 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"d.zip"});
}
