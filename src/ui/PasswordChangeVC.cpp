#include "ui/PasswordChangeVC.h"

#include "api/ApiClient.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "platform/Alerts.h"
#include "tunnel/SignOut.h"
#include "ui/CustomAlertView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLineEdit* makeSecureField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setFixedHeight(34);
    field->setStyleSheet(QStringLiteral(
        "QLineEdit { background: white; color: black; border-radius: 5px; padding: 0 8px; } "
        "QLineEdit:disabled { background: #d9d9d9; }"));
    return field;
}
} // namespace

PasswordChangeVC::PasswordChangeVC(QWidget* parent) : QWidget(parent) {
    buildElements();
    viewDidLoad();
}

void PasswordChangeVC::buildElements() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 60, 24, 24);
    column->setSpacing(12);
    PasswordTitle = new QLabel(this);
    PasswordTitle->setAlignment(Qt::AlignCenter);
    QFont font = PasswordTitle->font();
    font.setPointSize(17);
    font.setBold(true);
    PasswordTitle->setFont(font);
    PrePassword = makeSecureField(this);
    NowPassword = makeSecureField(this);
    RePassword = makeSecureField(this);
    ChangeButton = new QPushButton(this);
    ChangeButton->setFixedHeight(36);
    ChangeButton->setCursor(Qt::PointingHandCursor);
    connect(ChangeButton, &QPushButton::clicked, this, &PasswordChangeVC::ClickPasswordChange);
    column->addWidget(PasswordTitle);
    column->addSpacing(16);
    column->addWidget(PrePassword);
    column->addWidget(NowPassword);
    column->addWidget(RePassword);
    column->addSpacing(8);
    column->addWidget(ChangeButton);
    column->addStretch(1);
}

void PasswordChangeVC::viewDidLoad() {
    PrePassword->setPlaceholderText(localized(QStringLiteral("PREPASSWORD")));
    NowPassword->setPlaceholderText(localized(QStringLiteral("NOWPASSWORD")));
    RePassword->setPlaceholderText(localized(QStringLiteral("REPASSWORD")));
    // No label stands by the fields: their hints are their names.
    for (QLineEdit* field : {PrePassword.data(), NowPassword.data(), RePassword.data()})
        field->setAccessibleName(field->placeholderText());
    PasswordTitle->setText(localized(QStringLiteral("CHANGEPASSWORD")));
    PasswordTitle->setStyleSheet(QStringLiteral("color: white;"));
    setFixedWidth(280);
    setMinimumHeight(500);
    ChangeButton->setText(localized(QStringLiteral("CHANGEPASSWORD")));
    ChangeButton->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(110, 65, 230); border: 1px "
                       "solid rgb(110, 65, 230); border-radius: 5px; }"));
}

void PasswordChangeVC::ClickPasswordChange() {
    changePassword();
}

void PasswordChangeVC::changePassword() {
    // Checked here so that a typing slip never becomes the account's password.
    if (PrePassword->text().isEmpty() || NowPassword->text().isEmpty() ||
        RePassword->text().isEmpty()) {
        presentAlert(localized(QStringLiteral("PASSWORD_EMPTY")), QStringLiteral("alert"));
        return;
    }
    if (NowPassword->text() != RePassword->text()) {
        presentAlert(localized(QStringLiteral("PASSWORD_MISMATCH")), QStringLiteral("alert"));
        return;
    }
    sendChange(this, PrePassword->text(), RePassword->text());
}

// The request outlives the screen: the menu may replace it while the service answers.
// A resend reads the form again while there is one, else repeats what was sent.
void PasswordChangeVC::sendChange(QPointer<PasswordChangeVC> screen, const QString& previous,
                                  const QString& next) {
    ApiClient* api = services().api;
    if (!api)
        return;
    api->send(
        QLatin1String(ApiPath::changePassword),
        [previous, next] {
            return ApiFields{{QStringLiteral("user_privious_password"), previous},
                             {QStringLiteral("user_new_password"), next}};
        },
        [screen](const ApiReply& reply) { handleReply(screen, reply); },
        [screen, previous, next] {
            if (screen)
                screen->changePassword();
            else
                sendChange(nullptr, previous, next);
        });
}

void PasswordChangeVC::handleChangeReply(const ApiReply& reply) {
    handleReply(this, reply);
}

void PasswordChangeVC::handleReply(PasswordChangeVC* screen, const ApiReply& reply) {
    const QString result = reply.text("result");
    logLine(QStringLiteral("cc ") + result);
    if (result == QLatin1String("400")) {
        signOut();
        return;
    }
    QString key = QStringLiteral("ERRORALERT");
    QString kind = QStringLiteral("alert");
    if (result == QLatin1String("200")) {
        key = QStringLiteral("SUCCESSCONTENT");
        kind = QStringLiteral("success");
    } else if (result == QLatin1String("500")) {
        key = QStringLiteral("CONFIRMPASSWORD");
    }
    if (screen)
        screen->presentAlert(localized(key), kind);
    else if (Alerts* alerts = services().alerts)
        alerts->showConfirmAlert(localized(key), localized(QStringLiteral("CONFIRM")));
}

void PasswordChangeVC::presentAlert(const QString& text, const QString& kind) {
    m_alert = showAlertOver(window(), {ChangeButton, PrePassword, NowPassword, RePassword}, text,
                            kind, QSize(300, 300));
    QPointer<PasswordChangeVC> self(this);
    m_alert->completionHandler = [self] {
        if (self)
            self->resetPasswordForm();
    };
}

void PasswordChangeVC::resetPasswordForm() {
    for (QLineEdit* field : {PrePassword.data(), NowPassword.data(), RePassword.data()}) {
        field->clear();
        field->setEnabled(true);
    }
    ChangeButton->setEnabled(true);
    if (m_alert) {
        m_alert->hide();
        m_alert->deleteLater();
    }
}
