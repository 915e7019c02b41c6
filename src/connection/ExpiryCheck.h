#pragma once

#include <QString>
#include <optional>

// What the account's expiry asks for, by whole days left (truncated toward zero).
struct ExpiryDecision {
    std::optional<QString> alertKey; // the string key of the alert, if one is due
    int days = 0;                    // for "expire_after_day1" + days + "expire_after_day2"
    bool clearSuppression = false;   // "ALERT_DONT_SHOW" back to "NO"
};

ExpiryDecision decideExpiry(double secondsLeft, bool suppressed);

// The alert text of a decision, or nothing.
std::optional<QString> expiryAlertText(const ExpiryDecision& decision);
