#include "core/ConfirmAlert.h"

#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "platform/Alerts.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAlerts, "orvel.alerts")

void showConfirmAlert(const QString& text) {
    Alerts* alerts = services().alerts;
    if (!alerts) {
        qCWarning(lcAlerts) << "no alert service for" << text;
        return;
    }
    alerts->showConfirmAlert(text, localized(QStringLiteral("CONFIRM")));
}

void closeConfirmAlert(const QString& text) {
    if (Alerts* alerts = services().alerts)
        alerts->closeConfirmAlert(text);
}
