#pragma once

#include "platform/Alerts.h"

#include <QList>
#include <QPointer>

class QMessageBox;

class MessageBoxAlerts final : public Alerts {
public:
    void showConfirmAlert(const QString& text, const QString& buttonTitle) override;
    void closeConfirmAlert(const QString& text) override;
    void showExpiryAlert(const ExpiryAlert& alert) override;
    int showChoiceAlert(const QString& text, const QStringList& buttonTitles) override;

private:
    QList<QPointer<QMessageBox>> m_openConfirms;
};
