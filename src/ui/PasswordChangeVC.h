#pragma once

#include "ui/CustomAlertView.h"

#include <QPointer>
#include <QWidget>

class ApiReply;
class QLabel;
class QLineEdit;
class QPushButton;

// Replaces the account password on the service; the outcome is an in-window alert that
// locks the form until it is confirmed.
class PasswordChangeVC final : public QWidget {
    Q_OBJECT
public:
    explicit PasswordChangeVC(QWidget* parent = nullptr);

    QPointer<QLabel> PasswordTitle;
    QPointer<QPushButton> ChangeButton;
    QPointer<QLineEdit> PrePassword;
    QPointer<QLineEdit> NowPassword;
    QPointer<QLineEdit> RePassword;

    void changePassword();
    void handleChangeReply(const ApiReply& reply);
    void resetPasswordForm();

    // The alert on screen, if any.
    CustomAlertView* alertView() const { return m_alert; }

public slots:
    void ClickPasswordChange();

private:
    void buildElements();
    void viewDidLoad();
    void presentAlert(const QString& text, const QString& kind);
    static void sendChange(QPointer<PasswordChangeVC> screen, const QString& previous,
                           const QString& next);
    // Without a screen the outcome still reaches the user, as a desktop alert.
    static void handleReply(PasswordChangeVC* screen, const ApiReply& reply);

    QPointer<CustomAlertView> m_alert;
};
