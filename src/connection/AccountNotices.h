#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>

class ApiReply;

// The account side of the main screen: the user information with its expiry warnings,
// and the service notice.
class AccountNotices final : public std::enable_shared_from_this<AccountNotices> {
public:
    using Clock = std::function<QDateTime()>;

    explicit AccountNotices(Clock clock = &QDateTime::currentDateTime);

    // "/v1/app_get_userinfo"; resent on the next host until it is answered.
    void fetchUserInfo();
    void applyUserInfo(const ApiReply& reply);
    void runExpiryCheck();
    void showExpiryAlert(const QString& text);
    void clickNotShow();
    static void goToPayment();

    // Shows the notice in the language of `languageCode` and marks it read.
    static void showNotice(const QString& languageCode);
    // Tells the watchers outside the screen of an unread notice, in that language.
    static void announceUnreadNotice(const QString& languageCode);

    bool isDontShow = false;

private:
    Clock m_clock;
};
