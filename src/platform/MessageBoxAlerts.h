#pragma once

#include "platform/Alerts.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class QMessageBox;

// Alerts as message boxes modal to the main window only: the tray, its menu and the
// command line go on answering while one is open.
class MessageBoxAlerts final : public Alerts {
public:
    // The window the alerts belong to, and the title that names them (for the window
    // list and assistive technology).
    void setWindow(QWidget* window, const QString& title);

    void showConfirmAlert(const QString& text, const QString& buttonTitle) override;
    void closeConfirmAlert(const QString& text) override;
    void showExpiryAlert(const ExpiryAlert& alert) override;
    int showChoiceAlert(const QString& text, const QStringList& buttonTitles) override;

private:
    void prepare(QMessageBox& box, const QString& text) const;

    QPointer<QWidget> m_window;
    QString m_title;
    QList<QPointer<QMessageBox>> m_openConfirms;
};
