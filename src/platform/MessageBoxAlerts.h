#pragma once

#include "platform/Alerts.h"

class MessageBoxAlerts final : public Alerts {
public:
    void showConfirmAlert(const QString& text, const QString& buttonTitle) override;
    void showExpiryAlert(const ExpiryAlert& alert) override;
    int showChoiceAlert(const QString& text, const QStringList& buttonTitles) override;
};
