#include "ui/ViewController.h"

#include "api/ApiClient.h"
#include "app/MainWindow.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/NoticeModel.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingBrowser.h"
#include "support/ServiceFixture.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "ui/CustomAlertView.h"
#include "ui/LoginButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {
const QString kSessionKey = QStringLiteral("/v1/app_session_key");
const QString kServerList = QStringLiteral("/v1/app_new_server_list");

class ViewControllerTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        storyboard.registerController(QStringLiteral("LoginController"),
                                      [this] { return new ViewController(&storyboard); });
        openSession();
    }

    void TearDown() override {
        // Screens and their queued work go before the storyboard and window they use.
        window.setContentViewController(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ServiceTest::TearDown();
    }

    static std::optional<QString> accountPasswordItem() {
        return KeychainWrapper::shared().readString(kAccountPasswordItem);
    }

    ViewController* makeScreen() {
        auto* screen = new ViewController(&storyboard);
        window.setContentViewController(screen);
        window.show();
        return screen;
    }

    ViewController* screenWith(const QString& email, const QString& password) {
        ViewController* screen = makeScreen();
        screen->idField->setText(email);
        screen->pwField->setText(password);
        return screen;
    }

    const ScenarioAccount& account() { return service().scenario().accounts.first(); }

    ViewController* signedInScreen() { return screenWith(account().email, account().password); }

    // Signs in and waits until the server lists came back.
    void loginAndWaitForLists(ViewController* screen) {
        screen->ClickLogin();
        ASSERT_TRUE(waitUntil([this] { return !service().requests(kServerList).isEmpty(); }));
        ASSERT_TRUE(waitUntil([] { return appState().ikev2ServerList.size() > 1; }));
    }

    void waitForLoginReplies(int count) {
        ASSERT_TRUE(waitUntil([&] { return service().requests(kSessionKey).size() >= count; }));
        QTest::qWait(50);
    }

    static CustomAlertView* alertOf(ViewController* screen) {
        return screen->findChild<CustomAlertView*>();
    }

    Storyboard storyboard;
    MainWindow window;
};

struct RefusalCase {
    const char* result;
    const char* key;
};

// Readable names in test output: "result 300 -> LOGINCOUNTALERT".
void PrintTo(const RefusalCase& refusal, std::ostream* out) {
    *out << "result " << (*refusal.result ? refusal.result : "(none)") << " -> " << refusal.key;
}

class LoginRefusalTest : public ViewControllerTest,
                         public ::testing::WithParamInterface<RefusalCase> {};
} // namespace

TEST_P(LoginRefusalTest, ShowsTheAlertOfTheResultAndLocksTheFormUntilConfirmed) {
    service().scenario().resultOverrides[kSessionKey] = QLatin1String(GetParam().result);
    ViewController* screen = signedInScreen();
    screen->ClickLogin();
    ASSERT_TRUE(waitUntil([&] { return alertOf(screen) != nullptr; }));
    CustomAlertView* alert = alertOf(screen);
    EXPECT_EQ(alert->AlertContent->text(), localized(QLatin1String(GetParam().key)));
    EXPECT_FALSE(screen->LoginButton->isEnabled());
    EXPECT_FALSE(screen->idField->isEnabled());
    EXPECT_FALSE(screen->pwField->isEnabled());
    EXPECT_EQ(alert->geometry().center(), screen->rect().center());

    QTest::mouseClick(alert->AlertOK, Qt::LeftButton);
    EXPECT_TRUE(screen->LoginButton->isEnabled());
    EXPECT_TRUE(screen->idField->isEnabled());
    EXPECT_TRUE(screen->pwField->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return alertOf(screen) == nullptr; }));
    EXPECT_TRUE(service().requests(kServerList).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(EveryRefusal, LoginRefusalTest,
                         ::testing::Values(RefusalCase{"300", "LOGINCOUNTALERT"},
                                           RefusalCase{"400", "LOGINNOTENTERALERT"},
                                           RefusalCase{"444", "SESSIONLOADDING"},
                                           RefusalCase{"600", "LOGININCOLLECTALERT"},
                                           RefusalCase{"201", "ERRORALERT"},
                                           RefusalCase{"", "ERRORALERT"}));

TEST_F(ViewControllerTest, WrongPasswordIsRefusedWithTheIncorrectLoginAlert) {
    ViewController* screen = screenWith(account().email, QStringLiteral("wrong"));
    screen->ClickLogin();
    ASSERT_TRUE(waitUntil([&] { return alertOf(screen) != nullptr; }));
    EXPECT_EQ(alertOf(screen)->AlertContent->text(),
              localized(QStringLiteral("LOGININCOLLECTALERT")));
}

TEST_F(ViewControllerTest, Result500IsSilentAndKeepsTheFormUsable) {
    service().scenario().resultOverrides[kSessionKey] = QStringLiteral("500");
    ViewController* screen = signedInScreen();
    testing::internal::CaptureStdout();
    screen->ClickLogin();
    waitForLoginReplies(1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("login status ====>500\n\n"), std::string::npos) << out;
    EXPECT_EQ(alertOf(screen), nullptr);
    EXPECT_TRUE(screen->LoginButton->isEnabled());
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
}

TEST_F(ViewControllerTest, SuccessSendsTheFormFetchesTheListsAndGoesToMain) {
    ViewController* screen = signedInScreen();
    testing::internal::CaptureStdout();
    loginAndWaitForLists(screen);
    QTest::qWait(50);
    const std::string out = testing::internal::GetCapturedStdout();

    const LoggedRequest sent = service().requests(kSessionKey).first();
    EXPECT_EQ(sent.form.value(QStringLiteral("login_email")), account().email);
    EXPECT_EQ(sent.form.value(QStringLiteral("login_password")), account().password);
    EXPECT_EQ(sent.form.value(QStringLiteral("app_version")), QStringLiteral("2.1.0"));
    EXPECT_EQ(sent.form.value(QStringLiteral("device_type")), QStringLiteral("MacOS"));
    EXPECT_EQ(sent.form.value(QStringLiteral("csrfmiddlewaretoken")), appState().csrfToken);
    EXPECT_EQ(sent.cookies.value(QStringLiteral("csrftoken")), appState().csrfToken);
    for (const char* line : {"csrf ===> ", "login status ====>200\n", "Get Server List====>200\n",
                             "Go To Main====>\n", "Go To Main1====>\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
    // No main content is registered yet: the switch stops quietly.
    EXPECT_EQ(out.find("Go To Main2====>"), std::string::npos);
    EXPECT_EQ(window.contentViewController(), screen);
    EXPECT_EQ(appState().ikev2ServerList.first()->vpnProtocol, QStringLiteral("IKEV2"));
}

TEST_F(ViewControllerTest, MainContentOfAnotherClassIsNotShown) {
    storyboard.registerController(QStringLiteral("OrvelController"), [] { return new QLabel; });
    ViewController* screen = signedInScreen();
    testing::internal::CaptureStdout();
    loginAndWaitForLists(screen);
    QTest::qWait(50);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(window.contentViewController(), screen);
    EXPECT_EQ(out.find("Go To Main2====>"), std::string::npos);
}

TEST_F(ViewControllerTest, EveryLoginSendsAFreshUpperCaseDeviceUuid) {
    service().scenario().resultOverrides[kSessionKey] = QStringLiteral("500");
    ViewController* screen = signedInScreen();
    screen->ClickLogin();
    screen->ClickLogin();
    waitForLoginReplies(2);
    const QList<LoggedRequest> logins = service().requests(kSessionKey);
    ASSERT_EQ(logins.size(), 2);
    const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QString first = logins.at(0).form.value(QStringLiteral("device_uuid"));
    const QString second = logins.at(1).form.value(QStringLiteral("device_uuid"));
    EXPECT_TRUE(uuid.match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(uuid.match(second).hasMatch()) << second.toStdString();
    EXPECT_NE(first, second);
}

TEST_F(ViewControllerTest, ReturnInThePasswordFieldSignsIn) {
    service().scenario().resultOverrides[kSessionKey] = QStringLiteral("500");
    ViewController* screen = signedInScreen();
    QTest::keyClick(screen->pwField, Qt::Key_Return);
    waitForLoginReplies(1);
    EXPECT_EQ(service().requests(kSessionKey).size(), 1);
}

TEST_F(ViewControllerTest, BoxOnRemembersTheLogin) {
    ViewController* screen = signedInScreen();
    screen->autoLoginCheckBox->setCheckState(Qt::Checked);
    loginAndWaitForLists(screen);
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 1);
    EXPECT_EQ(preferences().string(QStringLiteral("email")), account().email);
    EXPECT_EQ(accountPasswordItem(), account().password);
    EXPECT_FALSE(preferences().contains(QStringLiteral("password")));
}

// The keychain refuses: the next start will not sign in by itself, and the password is
// in no preference either.
TEST_F(ViewControllerTest, BoxOnWithARefusingKeychainKeepsThePasswordNowhere) {
    services().itemStore = nullptr;
    ViewController* screen = signedInScreen();
    screen->autoLoginCheckBox->setCheckState(Qt::Checked);
    loginAndWaitForLists(screen);
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 1);
    EXPECT_EQ(preferences().string(QStringLiteral("email")), account().email);
    for (const QString& key : preferences().keys())
        EXPECT_FALSE(preferences().string(key).value_or(QString()).contains(account().password))
            << key.toStdString();
}

TEST_F(ViewControllerTest, BoxOffClearsTheFlagButKeepsTheRememberedLogin) {
    preferences().setValue(QStringLiteral("email"), QStringLiteral("old@orvel.test"));
    KeychainWrapper::shared().writeString(QStringLiteral("old"), kAccountPasswordItem);
    ViewController* screen = signedInScreen();
    screen->autoLoginCheckBox->setCheckState(Qt::Unchecked);
    testing::internal::CaptureStdout();
    loginAndWaitForLists(screen);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("checkBox not checked\n"), std::string::npos);
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_EQ(preferences().string(QStringLiteral("email")), QStringLiteral("old@orvel.test"));
    EXPECT_EQ(accountPasswordItem(), QStringLiteral("old"));
}

TEST_F(ViewControllerTest, MixedBoxStoresNothing) {
    ViewController* screen = signedInScreen();
    screen->autoLoginCheckBox->setCheckState(Qt::PartiallyChecked);
    loginAndWaitForLists(screen);
    EXPECT_FALSE(preferences().contains(QStringLiteral("isChecked")));
    EXPECT_FALSE(preferences().contains(QStringLiteral("email")));
}

TEST_F(ViewControllerTest, RememberedLoginSignsInWithoutAClick) {
    preferences().setValue(QStringLiteral("isChecked"), 1);
    preferences().setValue(QStringLiteral("email"), account().email);
    KeychainWrapper::shared().writeString(account().password, kAccountPasswordItem);
    ViewController* screen = makeScreen();
    EXPECT_EQ(screen->idField->text(), account().email);
    EXPECT_EQ(screen->autoLoginCheckBox->checkState(), Qt::Checked);
    ASSERT_TRUE(waitUntil([this] { return !service().requests(kServerList).isEmpty(); }));
    EXPECT_EQ(service().requests(kSessionKey).first().form.value(QStringLiteral("login_password")),
              account().password);
}

TEST_F(ViewControllerTest, FlagOffLeavesTheFormEmptyAndSendsNothing) {
    preferences().setValue(QStringLiteral("isChecked"), 0);
    preferences().setValue(QStringLiteral("email"), account().email);
    ViewController* screen = makeScreen();
    QTest::qWait(100);
    EXPECT_EQ(screen->autoLoginCheckBox->checkState(), Qt::Unchecked);
    EXPECT_TRUE(screen->idField->text().isEmpty());
    EXPECT_TRUE(service().requests(kSessionKey).isEmpty());
}

TEST_F(ViewControllerTest, ServerListSessionEndSignsOutAndPutsANewLoginScreenUp) {
    service().scenario().resultOverrides[kServerList] = QStringLiteral("400");
    ViewController* screen = signedInScreen();
    screen->autoLoginCheckBox->setCheckState(Qt::Checked);
    screen->ClickLogin();
    ASSERT_TRUE(waitUntil([&] { return window.contentViewController() != screen; }));
    EXPECT_NE(qobject_cast<ViewController*>(window.contentViewController()), nullptr);
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(ViewControllerTest, ServerListRefusalShowsTheErrorAlertAndStays) {
    service().scenario().resultOverrides[kServerList] = QStringLiteral("500");
    ViewController* screen = signedInScreen();
    screen->ClickLogin();
    ASSERT_TRUE(waitUntil([this] { return !alerts().confirmTexts.isEmpty(); }));
    EXPECT_EQ(alerts().confirmTexts, QStringList({localized(QStringLiteral("ERRORALERT"))}));
    EXPECT_EQ(window.contentViewController(), screen);
}

TEST_F(ViewControllerTest, LinksOpenTheServicePagesInTheBrowser) {
    ViewController* screen = makeScreen();
    QTest::mouseClick(screen->ForgotPasswordButton, Qt::LeftButton);
    QTest::mouseClick(screen->RegistUser, Qt::LeftButton);
    QTest::mouseClick(screen->SupportLinkButton, Qt::LeftButton);
    ASSERT_EQ(browser().opened.size(), 3);
    EXPECT_EQ(browser().opened.at(0), QUrl(appState().apiBaseURL + "/forgot_password"));
    EXPECT_EQ(browser().opened.at(1), QUrl(appState().apiBaseURL + "/regist"));
    EXPECT_EQ(browser().opened.at(2), QUrl(supportChatURL()));
}

TEST_F(ViewControllerTest, ScreenIsStyledAndTitled) {
    ViewController* screen = makeScreen();
    EXPECT_EQ(screen->pwField->echoMode(), QLineEdit::Password);
    EXPECT_EQ(screen->idField->placeholderText(), localized(QStringLiteral("EMAIL")));
    EXPECT_EQ(screen->LoginButton->text(), localized(QStringLiteral("LOGIN_BUTTON")));
    EXPECT_EQ(screen->autoLoginCheckBox->text(), localized(QStringLiteral("AUTOLOGIN")));
    EXPECT_TRUE(screen->autoLoginCheckBox->isTristate());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("OrvelVPN v2.1.0"));
    EXPECT_EQ(screen->size(), QSize(350, 400));
}

namespace {
struct NoticeCase {
    int userId;
    int commonId;
    int lastSeen;
    bool unreadBefore;
    const char* expectedNotice;
    bool expectedUnread;
};

void PrintTo(const NoticeCase& notice, std::ostream* out) {
    *out << "user " << notice.userId << ", common " << notice.commonId << ", last seen "
         << notice.lastSeen << (notice.unreadBefore ? ", unread" : "") << " -> "
         << notice.expectedNotice;
}

class LoginNoticeTest : public ViewControllerTest,
                        public ::testing::WithParamInterface<NoticeCase> {};
} // namespace

TEST_P(LoginNoticeTest, PicksTheCurrentNoticeAndTheUnreadFlag) {
    const NoticeCase& c = GetParam();
    service().scenario().userNotice = {ScenarioNotice{c.userId, "用户", "user", "사용자"}};
    service().scenario().commonNotice = {ScenarioNotice{c.commonId, "公共", "common", "공통"}};
    preferences().setValue(QStringLiteral("notice_id"), c.lastSeen);
    appState().hasUnreadNotice = c.unreadBefore;
    loginAndWaitForLists(signedInScreen());
    ASSERT_TRUE(appState().currentNotice);
    EXPECT_EQ(appState().currentNotice->content_en, QLatin1String(c.expectedNotice));
    EXPECT_EQ(appState().hasUnreadNotice, c.expectedUnread);
}

INSTANTIATE_TEST_SUITE_P(Examples, LoginNoticeTest,
                         ::testing::Values(NoticeCase{5, 7, 6, false, "common", true},
                                           NoticeCase{9, 7, 6, false, "user", true},
                                           NoticeCase{8, 8, 6, false, "user", true},
                                           NoticeCase{4, 4, 6, false, "common", false},
                                           NoticeCase{4, 4, 6, true, "common", true},
                                           // the notice last opened is read, user or common
                                           NoticeCase{6, 4, 6, false, "common", false},
                                           NoticeCase{4, 6, 6, false, "common", false}));

TEST_F(ViewControllerTest, NoNoticesKeepTheCurrentOne) {
    service().scenario().userNotice.clear();
    service().scenario().commonNotice.clear();
    appState().currentNotice = std::make_shared<NoticeModel>(3, "", "kept", "");
    loginAndWaitForLists(signedInScreen());
    EXPECT_EQ(appState().currentNotice->content_en, QStringLiteral("kept"));
}
