#include "connection/ExpiryCheck.h"

#include "core/LocalizeStrings.h"

#include <cmath>

namespace {
constexpr double kSecondsPerDay = 86400.0;
}

ExpiryDecision decideExpiry(double secondsLeft, bool suppressed) {
    const int days = static_cast<int>(std::trunc(secondsLeft / kSecondsPerDay));
    ExpiryDecision decision;
    decision.days = days;
    if (days > 7 || days < 0) {
        decision.clearSuppression = true;
    } else if (days == 0 && secondsLeft <= 0) {
        decision.alertKey = QStringLiteral("expire_account");
    } else if (suppressed) {
        return decision;
    } else if (days == 7) {
        decision.alertKey = QStringLiteral("expire_after_week");
    } else if (days >= 1) {
        decision.alertKey = QStringLiteral("expire_after_day1");
    } else {
        decision.alertKey = QStringLiteral("expire_after_today");
    }
    return decision;
}

std::optional<QString> expiryAlertText(const ExpiryDecision& decision) {
    if (!decision.alertKey)
        return std::nullopt;
    if (*decision.alertKey == QLatin1String("expire_after_day1"))
        return localized(QStringLiteral("expire_after_day1")) + QString::number(decision.days) +
               localized(QStringLiteral("expire_after_day2"));
    return localized(*decision.alertKey);
}
