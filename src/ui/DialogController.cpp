#include "ui/DialogController.h"

#include "connection/ConnectionEvents.h"
#include "connection/TimerManager.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "platform/AdminAuthenticator.h"
#include "platform/Preferences.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

Q_LOGGING_CATEGORY(lcDialog, "orvel.tunnel")

DialogController::DialogController(QWidget* parent, QString markerPath)
    : QDialog(parent), m_markerPath(std::move(markerPath)) {
    setModal(true);
    buildLayout();
    styleFields();
    // Root is no administrator the check accepts: a client running as root asks for one
    // by name, starting with the desktop user who started it.
    const bool runsAsRoot = AdminAuthenticator::currentUserName() == QLatin1String("root");
    edtUserName->setText(runsAsRoot ? AdminAuthenticator::desktopUserName()
                                    : AdminAuthenticator::currentUserName());
    if (!runsAsRoot) {
        edtUserName->setReadOnly(true);
        // Not selectable either: no focus, no mouse, no context menu.
        edtUserName->setFocusPolicy(Qt::NoFocus);
        edtUserName->setContextMenuPolicy(Qt::NoContextMenu);
        edtUserName->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    txtIncorrectPassword->hide();
    connect(btnOK, &QPushButton::clicked, this, &DialogController::clickOKButton);
    connect(edtUserPassword, &QLineEdit::returnPressed, this, &DialogController::clickOK);
    connect(btnCancel, &QPushButton::clicked, this, &DialogController::clickCancel);
}

void DialogController::buildLayout() {
    auto* prompt = new QLabel(localized(QStringLiteral("ADMIN_PROMPT")), this);
    prompt->setWordWrap(true);
    edtUserName = new QLineEdit(this);
    edtUserPassword = new QLineEdit(this);
    edtUserPassword->setEchoMode(QLineEdit::Password);
    txtIncorrectPassword = new QLabel(localized(QStringLiteral("ADMIN_INCORRECT")), this);
    txtIncorrectPassword->setStyleSheet(QStringLiteral("color: red;"));
    btnCancel = new QPushButton(localized(QStringLiteral("ADMIN_CANCEL")), this);
    btnOK = new QPushButton(localized(QStringLiteral("ADMIN_OK")), this);
    btnOK->setDefault(true);

    auto* fields = new QFormLayout;
    fields->addRow(localized(QStringLiteral("ADMIN_USERNAME")), edtUserName);
    fields->addRow(localized(QStringLiteral("ADMIN_PASSWORD")), edtUserPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(fields);
    layout->addWidget(txtIncorrectPassword);
    layout->addLayout(buttons);
}

void DialogController::styleFields() {
    QFont font(QStringLiteral("Helvetica"), 14);
    font.setWeight(QFont::Light);
    for (QLineEdit* field : {edtUserName, edtUserPassword}) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, Qt::white);
        palette.setColor(QPalette::Text, Qt::black);
        palette.setColor(QPalette::PlaceholderText, sharedGrayColor());
        field->setPalette(palette);
        field->setFont(font);
        field->setPlaceholderText(QString());
    }
    btnCancel->setStyleSheet(
        QStringLiteral("QPushButton { border: 1px solid red; padding: 4px 12px; }"));
}

void DialogController::present(QWidget* over) {
    static QPointer<QWidget> openDialog;
    if (openDialog && openDialog->isVisible()) {
        openDialog->raise();
        openDialog->activateWindow();
        return;
    }
    Storyboard* storyboard = services().storyboard;
    QWidget* dialog = storyboard
                          ? storyboard->instantiateController(QStringLiteral("DialogController"))
                          : nullptr;
    if (!dialog)
        return;
    openDialog = dialog;
    dialog->setParent(over, Qt::Dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    ConnectionEvents& events = ConnectionEvents::shared();
    if (auto* asked = qobject_cast<QDialog*>(dialog)) {
        // A dialog that goes with its screen was not answered either.
        auto answered = std::make_shared<bool>(false);
        connect(asked, &QDialog::finished, &events, [&events, answered](int result) {
            *answered = true;
            emit events.administratorAnswered(result == QDialog::Accepted);
        });
        const QMetaObject::Connection cancelled =
            connect(&events, &ConnectionEvents::attemptCancelled, asked, &QDialog::reject);
        connect(asked, &QObject::destroyed, &events, [&events, answered, cancelled] {
            // Half destroyed, it is no dialog any more: the cancel this may cause must not
            // reach it.
            QObject::disconnect(cancelled);
            if (!*answered)
                emit events.administratorAnswered(false);
        });
    }
    dialog->show();
}

void DialogController::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    setWindowTitle(QStringLiteral("ORVEL VPN v") + appShortVersion());
    setFixedSize(sizeHint());
}

void DialogController::clickOK() {
    submitCredentials();
}

void DialogController::clickOKButton() {
    submitCredentials();
}

void DialogController::clickCancel() {
    reject();
}

void DialogController::submitCredentials() {
    const QString userName = edtUserName->text();
    const QString password = edtUserPassword->text();
    // An empty field cannot be an administrator's credentials: no statement is run.
    if (userName.isEmpty() || password.isEmpty()) {
        showIncorrectPassword();
        return;
    }
    ScriptRunner* runner = services().scriptRunner;
    const bool proven = runner && AdminCredentials(*runner, m_markerPath).check(userName, password);
    AppState& state = appState();
    if (!proven && !state.isAdminAuthorized) {
        showIncorrectPassword();
        return;
    }
    if (proven)
        acceptCredentials(userName, password);
    // Already authorized: the credentials that passed before stay, the failed ones are not kept.
    // Only an attempt still supervised launches on the next tick: an answer that comes
    // after it ended would otherwise start an OpenVPN later, by surprise.
    state.pendingOpenVPNInstall = state.failoverTimer && state.failoverTimer->isActive();
    state.isAdminAuthorized = true;
    accept();
}

void DialogController::acceptCredentials(const QString& userName, const QString& password) {
    appState().adminUserName = userName;
    if (!KeychainWrapper::shared().writeString(password, kAdminPasswordItem))
        qCWarning(lcDialog) << "the administrator password could not be kept in the keychain;"
                            << "privileged commands will be refused";
    if (Preferences* preferences = services().preferences)
        preferences->setValue(QStringLiteral("username"), userName);
}

void DialogController::showIncorrectPassword() {
    txtIncorrectPassword->show();
    QPointer<QLabel> notice = txtIncorrectPassword;
    TimerManager::start(2, [notice](std::optional<QString>, bool finished) {
        if (finished && notice)
            notice->hide();
    });
}
