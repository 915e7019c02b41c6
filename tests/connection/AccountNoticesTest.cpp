#include "connection/AccountNotices.h"

#include "api/ApiClient.h"
#include "connection/ExpiryCheck.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/NoticeModel.h"
#include "core/Services.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingBrowser.h"
#include "support/ServiceFixture.h"

namespace {
constexpr double kDay = 86400.0;
const QDateTime kNow(QDate(2030, 3, 10), QTime(12, 0, 0));

QString at(double secondsFromNow) {
    return kNow.addMSecs(qint64(secondsFromNow * 1000)).toString("yyyy-MM-dd HH:mm:ss");
}

QString dayText(int days) {
    return localized("expire_after_day1") + QString::number(days) + localized("expire_after_day2");
}
} // namespace

TEST(ExpiryCheckTest, Boundaries_PickTheRowOfTheTable) {
    struct Case {
        double seconds;
        bool suppressed;
        std::optional<QString> key;
        bool clears;
    };
    const QList<Case> cases = {
        {8 * kDay, false, std::nullopt, true},
        {8 * kDay - 1, false, "expire_after_week", false},
        {7 * kDay, false, "expire_after_week", false},
        {7 * kDay, true, std::nullopt, false},
        {7 * kDay - 1, false, "expire_after_day1", false},
        {kDay, false, "expire_after_day1", false},
        {kDay - 1, false, "expire_after_today", false},
        {1, true, std::nullopt, false},
        {0, false, "expire_account", false},
        {-5, true, "expire_account", false},
        {-kDay + 1, false, "expire_account", false},
        {-kDay, true, std::nullopt, true},
        {-2 * kDay, false, std::nullopt, true},
    };
    for (const Case& c : cases) {
        const ExpiryDecision decision = decideExpiry(c.seconds, c.suppressed);
        EXPECT_EQ(decision.alertKey, c.key) << c.seconds;
        EXPECT_EQ(decision.clearSuppression, c.clears) << c.seconds;
    }
    EXPECT_EQ(decideExpiry(7 * kDay - 1, false).days, 6);
    EXPECT_EQ(decideExpiry(kDay + 5, false).days, 1);
}

class AccountNoticesTest : public OrvelTest {
protected:
    void check(double secondsFromNow) {
        appState().expiryDateText = at(secondsFromNow);
        notices->runExpiryCheck();
    }
    std::shared_ptr<AccountNotices> notices = std::make_shared<AccountNotices>([] { return kNow; });
};

TEST_F(AccountNoticesTest, ExpiryAlerts_CarryTheDayCountAndHonourSuppression) {
    check(3 * kDay + 60);
    check(7 * kDay + 60);
    check(600);
    EXPECT_EQ(alerts().expiryTexts, (QStringList{dayText(3), localized("expire_after_week"),
                                                 localized("expire_after_today")}));

    preferences().setValue("ALERT_DONT_SHOW", "YES");
    alerts().expiryTexts.clear();
    check(3 * kDay);
    EXPECT_TRUE(alerts().expiryTexts.isEmpty());
    check(-5);
    EXPECT_EQ(alerts().expiryTexts, QStringList{localized("expire_account")});
    EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), QStringLiteral("YES"));
}

TEST_F(AccountNoticesTest, ExpiredDaysAgoOrFarAhead_NoAlertAndSuppressionCleared) {
    preferences().setValue("ALERT_DONT_SHOW", "YES");
    check(-2 * kDay);
    EXPECT_TRUE(alerts().expiryTexts.isEmpty());
    EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), QStringLiteral("NO"));
    preferences().setValue("ALERT_DONT_SHOW", "YES");
    check(30 * kDay);
    EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), QStringLiteral("NO"));
}

TEST_F(AccountNoticesTest, UnreadableDate_SkipsTheCheck) {
    appState().expiryDateText = QStringLiteral("31/12/2030");
    notices->runExpiryCheck();
    EXPECT_TRUE(alerts().expiryTexts.isEmpty());
    EXPECT_FALSE(preferences().contains("ALERT_DONT_SHOW"));
}

TEST_F(AccountNoticesTest, ExpiryAlert_TwoButtonsAndACheckBoxThatFlipsThePreference) {
    Alerts::ExpiryAlert shown;
    alerts().whileExpiryShown = [&](const Alerts::ExpiryAlert& alert) {
        shown = alert;
        alert.onDontShowToggled();
        EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), QStringLiteral("YES"));
        alert.onDontShowToggled();
        alert.onYes();
    };
    notices->showExpiryAlert(QStringLiteral("text"));
    EXPECT_EQ(shown.yesTitle, localized("YES"));
    EXPECT_EQ(shown.noTitle, localized("NO"));
    EXPECT_EQ(shown.dontShowTitle, localized("dont_show"));
    EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), QStringLiteral("NO"));
    EXPECT_EQ(browser().opened, QList<QUrl>{QUrl(appState().apiBaseURL + "/price")});

    notices->showExpiryAlert(QStringLiteral("again"));
    EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), QStringLiteral("NO"))
        << "each alert starts with the box unticked";
}

TEST_F(AccountNoticesTest, ShowNotice_PicksTheLanguageAndRemembersTheNotice) {
    appState().currentNotice = std::make_shared<NoticeModel>(4, "中文", "English", "한국어");
    appState().hasUnreadNotice = true;
    AccountNotices::showNotice("ko");
    AccountNotices::showNotice("zh");
    AccountNotices::showNotice("fr");
    AccountNotices::showNotice("");
    EXPECT_EQ(alerts().confirmTexts, (QStringList{"한국어", "中文", "English", "English"}));
    EXPECT_EQ(preferences().integer("notice_id"), 4);
    EXPECT_FALSE(appState().hasUnreadNotice);
}

class UserInfoTest : public ServiceTest {};

TEST_F(UserInfoTest, Fetch_FillsTheAccountValuesWithoutSendingFields) {
    signIn();
    auto notices = std::make_shared<AccountNotices>();
    notices->fetchUserInfo();
    ASSERT_TRUE(waitUntil([] { return !appState().userEmail.isEmpty(); }));
    const auto requests = service().requests(QLatin1String(ApiPath::getUserInfo));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].form.isEmpty());
    const ScenarioAccount& account = service().scenario().accounts.first();
    EXPECT_EQ(appState().userEmail, account.email);
    EXPECT_EQ(appState().userName, account.username);
    EXPECT_EQ(appState().productName, account.productName);
    EXPECT_FALSE(appState().expiryDateText.isEmpty());
    EXPECT_EQ(alerts().expiryTexts, QStringList{dayText(5)}) << "the demo expires in 5 days";
}

TEST_F(UserInfoTest, EmptyExpiry_SkipsTheCheck) {
    service().scenario().accounts.first().expiresInSeconds.reset();
    service().scenario().accounts.first().expiry.clear();
    signIn();
    auto notices = std::make_shared<AccountNotices>();
    notices->fetchUserInfo();
    ASSERT_TRUE(waitUntil([] { return !appState().userEmail.isEmpty(); }));
    EXPECT_TRUE(appState().expiryDateText.isEmpty());
    EXPECT_TRUE(alerts().expiryTexts.isEmpty());
    EXPECT_FALSE(preferences().contains("ALERT_DONT_SHOW"));
}

TEST_F(UserInfoTest, ReplyMissingAField_KeepsThePreviousValues) {
    appState().userEmail = QStringLiteral("kept@orvel.test");
    auto notices = std::make_shared<AccountNotices>();
    notices->applyUserInfo(ApiReply(nlohmann::json{{"email", "new@orvel.test"}}));
    EXPECT_EQ(appState().userEmail, QStringLiteral("kept@orvel.test"));
}
