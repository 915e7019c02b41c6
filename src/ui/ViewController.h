#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class ApiReply;
class CustomAlertView;
class LoginButton;
class QCheckBox;
class QLineEdit;
class QPushButton;
class Storyboard;

// The login screen: signs in with the account's e-mail and password, remembers them
// for automatic login when asked, takes the notices of the sign-in, fetches the server
// lists and hands over to the main content.
class ViewController final : public QWidget {
    Q_OBJECT
public:
    // `storyboard` is the one this screen was made from; it makes the main content.
    explicit ViewController(Storyboard* storyboard, QWidget* parent = nullptr);

    QPointer<::LoginButton> LoginButton;
    QPointer<QPushButton> ForgetPassword;
    QPointer<QPushButton> RegistUser;
    QPointer<QLineEdit> idField;
    QPointer<QLineEdit> pwField;
    QPointer<QPushButton> ForgotPasswordButton;
    QPointer<QCheckBox> autoLoginCheckBox;
    QPointer<QPushButton> SupportLinkButton;
    QString cookie_url;

    void login();
    void handleLoginReply(const ApiReply& reply, const QString& email, const QString& password);
    CustomAlertView* showLoginAlert(const QString& key);
    void goToMain();

signals:
    // The remembered account signed in by itself and the main content is in place.
    void signedInAutomatically();

public slots:
    void ClickLogin();
    void EnterLoginWithSender();
    void clickCheckBox();
    void clickForget();
    void clickRegist();
    void clickSupport();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildForm();
    void viewDidLoad();
    void viewDidAppear();
    void styleControls();
    void rememberLogin(const QString& email, const QString& password);
    void takeNotices(const ApiReply& reply);
    void loadServerLists();

    Storyboard* m_storyboard;
    bool m_appeared = false;
    bool m_signingInAutomatically = false;
};
