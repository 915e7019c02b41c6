#include "desktop/LogFile.h"

#include "core/Diagnostics.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLogTest, "orvel.logtest")
Q_LOGGING_CATEGORY(lcForeign, "other.logtest")

namespace {
QByteArray allOf(const QStringList& files) {
    QByteArray text;
    for (const QString& path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            text += file.readAll();
    }
    return text;
}
} // namespace

class LogFileTest : public OrvelTest {};

TEST_F(LogFileTest, OrvelCategoriesAndDiagnosticLines_AreWrittenRedacted) {
    LogFile log(tempPath() + "/state/orvelvpn");
    qCInfo(lcLogTest) << "login password=Hunter2x sent";
    qCInfo(lcForeign) << "not ours";
    logLine(QStringLiteral("연결됨 vpnStateChanged"));
    const QByteArray text = allOf(log.files());
    EXPECT_TRUE(text.contains("orvel.logtest: login password=<redacted> sent"));
    EXPECT_TRUE(text.contains("diagnostic: 연결됨 vpnStateChanged"));
    EXPECT_FALSE(text.contains("Hunter2x"));
    EXPECT_FALSE(text.contains("not ours"));
    EXPECT_EQ(QFileInfo(log.files().first()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions());
}

TEST_F(LogFileTest, LongRun_RotatesAndNeverKeepsMoreThanItsBound) {
    LogFile log(tempPath());
    const QString line(900, QLatin1Char('x'));
    for (int i = 0; i < 6000; ++i) // about five megabytes
        log.write(QStringLiteral("orvel.test"), line);
    const QStringList files = log.files();
    EXPECT_EQ(files.size(), LogFile::kKeptFiles + 1);
    qint64 total = 0;
    for (const QString& path : files) {
        EXPECT_LE(QFileInfo(path).size(), LogFile::kMaxBytes);
        total += QFileInfo(path).size();
    }
    EXPECT_LE(total, (LogFile::kKeptFiles + 1) * LogFile::kMaxBytes);
}
