#include "connection/AccountNotices.h"

#include "api/ApiClient.h"
#include "connection/ConnectionEvents.h"
#include "connection/ExpiryCheck.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/NoticeModel.h"
#include "core/ServiceDate.h"
#include "core/Services.h"
#include "platform/Alerts.h"
#include "platform/Browser.h"
#include "platform/Preferences.h"

#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcAccount, "orvel.account")

namespace {
const QString kDontShowKey = QStringLiteral("ALERT_DONT_SHOW");
}

AccountNotices::AccountNotices(Clock clock) : m_clock(std::move(clock)) {}

void AccountNotices::fetchUserInfo() {
    ApiClient* api = services().api;
    if (!api)
        return;
    auto self = shared_from_this();
    api->send(
        QLatin1String(ApiPath::getUserInfo), [] { return ApiFields{}; },
        [self](const ApiReply& reply) { self->applyUserInfo(reply); });
}

void AccountNotices::applyUserInfo(const ApiReply& reply) {
    for (const char* key : {"email", "product_name", "username", "rec", "info_value"}) {
        if (!reply.has(key)) {
            qCWarning(lcAccount) << "user information without" << key << "- kept the old values";
            return;
        }
    }
    AppState& state = appState();
    state.userEmail = reply.text("email");
    state.productName = reply.text("product_name");
    state.userName = reply.text("username");
    state.recText = reply.text("rec");
    state.expiryDateText = reply.text("info_value");
    if (!state.expiryDateText.isEmpty())
        runExpiryCheck();
}

void AccountNotices::runExpiryCheck() {
    const std::optional<QDateTime> expiry = parseServiceDate(appState().expiryDateText);
    Preferences* preferences = services().preferences;
    if (!expiry || !preferences) {
        qCWarning(lcAccount) << "expiry not understood:" << appState().expiryDateText;
        return;
    }
    const double secondsLeft = m_clock().msecsTo(*expiry) / 1000.0;
    const bool suppressed = preferences->string(kDontShowKey) == QStringLiteral("YES");
    const ExpiryDecision decision = decideExpiry(secondsLeft, suppressed);
    if (decision.clearSuppression)
        preferences->setValue(kDontShowKey, QStringLiteral("NO"));
    if (const auto text = expiryAlertText(decision))
        showExpiryAlert(*text);
}

void AccountNotices::showExpiryAlert(const QString& text) {
    Alerts* alerts = services().alerts;
    if (!alerts)
        return;
    isDontShow = false;
    emit ConnectionEvents::shared().expiryWarning(text);
    auto self = shared_from_this();
    Alerts::ExpiryAlert alert;
    alert.text = text;
    alert.dontShowTitle = localized(QStringLiteral("dont_show"));
    alert.yesTitle = localized(QStringLiteral("YES"));
    alert.noTitle = localized(QStringLiteral("NO"));
    alert.onYes = &AccountNotices::goToPayment;
    alert.onDontShowToggled = [self] { self->clickNotShow(); };
    alerts->showExpiryAlert(alert);
}

void AccountNotices::clickNotShow() {
    const bool wasTicked = isDontShow;
    isDontShow = !isDontShow;
    if (Preferences* preferences = services().preferences)
        preferences->setValue(kDontShowKey,
                              wasTicked ? QStringLiteral("NO") : QStringLiteral("YES"));
}

void AccountNotices::goToPayment() {
    if (Browser* browser = services().browser)
        browser->open(QUrl(appState().apiBaseURL + QStringLiteral("/price")));
}

void AccountNotices::announceUnreadNotice(const QString& languageCode) {
    const AppState& state = appState();
    if (state.currentNotice && state.hasUnreadNotice)
        emit ConnectionEvents::shared().noticeArrived(
            state.currentNotice->id, state.currentNotice->textForLanguage(languageCode));
}

void AccountNotices::showNotice(const QString& languageCode) {
    AppState& state = appState();
    const std::shared_ptr<NoticeModel> notice = state.currentNotice;
    if (!notice)
        return;
    if (Alerts* alerts = services().alerts)
        alerts->showConfirmAlert(notice->textForLanguage(languageCode), QStringLiteral("OK"));
    if (Preferences* preferences = services().preferences)
        preferences->setValue(QStringLiteral("notice_id"), notice->id);
    state.hasUnreadNotice = false;
}
