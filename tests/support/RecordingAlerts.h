#pragma once

#include "platform/Alerts.h"

#include <QList>
#include <QStringList>

// Returns at once, as if the user closed the alert; a test may act inside it first.
class RecordingAlerts final : public Alerts {
public:
    void showConfirmAlert(const QString& text, const QString& /*buttonTitle*/) override {
        confirmTexts.append(text);
    }
    void closeConfirmAlert(const QString& text) override { closedTexts.append(text); }
    void showExpiryAlert(const ExpiryAlert& alert) override {
        expiryTexts.append(alert.text);
        if (whileExpiryShown)
            whileExpiryShown(alert);
    }

    int showChoiceAlert(const QString& text, const QStringList& /*buttonTitles*/) override {
        choiceTexts.append(text);
        return choiceAnswer;
    }

    QStringList confirmTexts;
    QStringList closedTexts;
    QStringList expiryTexts;
    std::function<void(const ExpiryAlert&)> whileExpiryShown;
    QStringList choiceTexts;
    // The button every choice alert is answered with.
    int choiceAnswer = 0;
};
