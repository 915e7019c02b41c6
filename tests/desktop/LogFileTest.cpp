#include "desktop/LogFile.h"

#include "api/ApiClient.h"
#include "app/MainWindow.h"
#include "core/AppState.h"
#include "core/Diagnostics.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "support/ServiceFixture.h"
#include "support/TestEnvironment.h"
#include "ui/ViewController.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
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

// A real sign-in through the login screen, every orvel.* category on: the token and the
// session id it ran with are on neither standard output nor the log.
class SignInLogTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        openSession();
        QLoggingCategory::setFilterRules(QStringLiteral("orvel.*=true"));
    }
    void TearDown() override {
        QLoggingCategory::setFilterRules(QString());
        window.setContentViewController(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ServiceTest::TearDown();
    }

    Storyboard storyboard;
    MainWindow window;
};

TEST_F(SignInLogTest, TokenAndSessionId_AreMaskedOnStandardOutputAndInTheLog) {
    LogFile log(tempPath() + "/state");
    auto* screen = new ViewController(&storyboard);
    window.setContentViewController(screen);
    screen->idField->setText(service().scenario().accounts.first().email);
    screen->pwField->setText(service().scenario().accounts.first().password);
    testing::internal::CaptureStdout();
    screen->ClickLogin();
    const bool signedIn = waitUntil([] { return appState().ikev2ServerList.size() > 1; });
    const QByteArray out = QByteArray::fromStdString(testing::internal::GetCapturedStdout());
    ASSERT_TRUE(signedIn);
    const QByteArray token = appState().csrfToken.toUtf8();
    const QByteArray session = appState().sessionId.toUtf8();
    ASSERT_FALSE(token.isEmpty());
    ASSERT_FALSE(session.isEmpty());
    const QByteArray logged = allOf(log.files());
    for (const QByteArray& text : {out, logged}) {
        EXPECT_TRUE(text.contains("csrf ===> <redacted>\n")) << text.constData();
        EXPECT_FALSE(text.contains(token)) << text.constData();
        EXPECT_FALSE(text.contains(session)) << text.constData();
    }
}
