#include "ui/PasswordChangeVC.h"

#include "api/ApiClient.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/ServiceFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace {
const char* kChange = ApiPath::changePassword;
}

class PasswordChangeTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        signIn();
        screen = std::make_unique<PasswordChangeVC>();
    }
    void TearDown() override {
        screen.reset();
        ServiceTest::TearDown();
    }
    void fill(const QString& previous, const QString& now, const QString& repeated) {
        screen->PrePassword->setText(previous);
        screen->NowPassword->setText(now);
        screen->RePassword->setText(repeated);
    }
    // Presses the button and waits for the alert.
    void submit() {
        screen->ClickPasswordChange();
        ASSERT_TRUE(waitUntil([this] { return screen->alertView() != nullptr; }));
    }
    QString alertText() { return screen->alertView()->message; }
    bool formLocked() {
        return !screen->ChangeButton->isEnabled() && !screen->PrePassword->isEnabled() &&
               !screen->RePassword->isEnabled();
    }
    void confirmAlert() {
        screen->alertView()->ClickOK();
        EXPECT_TRUE(screen->PrePassword->text().isEmpty());
        EXPECT_TRUE(screen->NowPassword->text().isEmpty());
        EXPECT_TRUE(screen->RePassword->text().isEmpty());
        EXPECT_TRUE(screen->ChangeButton->isEnabled());
    }

    std::unique_ptr<PasswordChangeVC> screen;
};

TEST_F(PasswordChangeTest, Success_SendsTheRepetitionAndShowsSuccess) {
    const QString old = service().scenario().accounts.first().password;
    fill(old, "new-secret", "new-secret");
    submit();
    const auto requests = service().requests(QLatin1String(kChange));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].form.value("user_privious_password"), old);
    EXPECT_EQ(requests[0].form.value("user_new_password"), QStringLiteral("new-secret"));
    EXPECT_EQ(requests[0].form.value("csrfmiddlewaretoken"), appState().csrfToken);
    EXPECT_EQ(alertText(), localized("SUCCESSCONTENT"));
    EXPECT_EQ(screen->alertView()->kind, QStringLiteral("success"));
    EXPECT_TRUE(formLocked());
    confirmAlert();
}

TEST_F(PasswordChangeTest, Refusals_ShowTheirAlertAndEmptyTheForm) {
    const QList<std::pair<QString, QString>> cases{{"500", "CONFIRMPASSWORD"},
                                                   {"777", "ERRORALERT"}};
    for (const auto& [result, key] : cases) {
        service().scenario().resultOverrides[QLatin1String(kChange)] = result;
        fill("wrong", "n", "n");
        submit();
        EXPECT_EQ(alertText(), localized(key)) << result.toStdString();
        EXPECT_EQ(screen->alertView()->kind, QStringLiteral("alert"));
        confirmAlert();
        ASSERT_TRUE(waitUntil([this] { return screen->alertView() == nullptr; }));
    }
}

TEST_F(PasswordChangeTest, SessionGone_SignsOutWithoutAlert) {
    preferences().setValue("isChecked", 1);
    service().scenario().resultOverrides[QLatin1String(kChange)] = QStringLiteral("400");
    fill("a", "b", "b");
    screen->ClickPasswordChange();
    ASSERT_TRUE(waitUntil([this] { return preferences().integer("isChecked") == 0; }));
    EXPECT_EQ(screen->alertView(), nullptr);
}

TEST_F(PasswordChangeTest, MismatchOrEmptyFields_AreRefusedWithoutSending) {
    fill("old", "one", "two");
    submit();
    EXPECT_EQ(alertText(), localized("PASSWORD_MISMATCH"));
    confirmAlert();
    ASSERT_TRUE(waitUntil([this] { return screen->alertView() == nullptr; }));

    fill("old", "", "");
    submit();
    EXPECT_EQ(alertText(), localized("PASSWORD_EMPTY"));
    EXPECT_TRUE(service().requests(QLatin1String(kChange)).isEmpty());
}

TEST_F(PasswordChangeTest, ReplyAfterLeavingTheScreen_IsStillActedOn) {
    preferences().setValue("isChecked", 1);
    fill(service().scenario().accounts.first().password, "new", "new");
    screen->ClickPasswordChange();
    screen.reset(); // the menu shows another pane before the service answers
    ASSERT_TRUE(waitUntil([this] { return !alerts().confirmTexts.isEmpty(); }));
    EXPECT_EQ(alerts().confirmTexts, QStringList{localized("SUCCESSCONTENT")});

    service().scenario().resultOverrides[QLatin1String(kChange)] = QStringLiteral("400");
    screen = std::make_unique<PasswordChangeVC>();
    fill("old", "new", "new");
    screen->ClickPasswordChange();
    screen.reset();
    EXPECT_TRUE(waitUntil([this] { return preferences().integer("isChecked") == 0; }));
}

TEST_F(PasswordChangeTest, Resend_ReadsTheFormAgain) {
    service().setFault(QLatin1String(kChange), Fault{Fault::Kind::Html, 0, {}, 1});
    fill("old", "first", "first");
    screen->ClickPasswordChange();
    fill("old", "second", "second"); // typed while the first attempt was under way
    ASSERT_TRUE(waitUntil([this] { return screen->alertView() != nullptr; }));
    const auto requests = service().requests(QLatin1String(kChange));
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[1].form.value("user_new_password"), QStringLiteral("second"));
}

TEST_F(PasswordChangeTest, Alert_Is300By300CentredOnTheWindow) {
    QWidget window;
    window.resize(630, 500);
    screen->setParent(&window);
    const auto detach = qScopeGuard([this] { screen->setParent(nullptr); });
    fill("old", "n", "n");
    submit();
    const QRect frame = screen->alertView()->geometry();
    EXPECT_EQ(screen->alertView()->parentWidget(), &window);
    EXPECT_EQ(frame.size(), QSize(300, 300));
    EXPECT_EQ(frame.center(), window.rect().center());
}
