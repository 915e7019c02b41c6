#include "ui/DialogController.h"

#include "connection/TimerManager.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "platform/AdminAuthenticator.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

class DialogControllerTest : public OrvelTest {
protected:
    void SetUp() override {
        const QString templatePath = tempPath() + QStringLiteral("/orvel_admin_check.txt");
        QFile file(templatePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("marker");
        appState().credentialTemplatePath = templatePath;
        m_user = AdminAuthenticator::currentUserName();
        m_runner.simulateAdministrator(m_user, QStringLiteral("right \"pw\""));
        services().scriptRunner = &m_runner;
        // The desktop user who started a client running as root.
        qputenv("SUDO_USER", "desk-user");
        m_dialog = std::make_unique<DialogController>(nullptr, marker());
        qunsetenv("SUDO_USER");
        m_shownUser = m_dialog->edtUserName->text();
        // What the user would type over it, as root.
        m_dialog->edtUserName->setText(m_user);
        m_dialog->show();
    }
    // An attempt the dialog's answer belongs to.
    void superviseAttempt() {
        appState().failoverTimer = std::make_unique<QTimer>();
        appState().failoverTimer->start(1000);
    }
    QString marker() const { return tempPath() + QStringLiteral("/local/orvel_admin_check.txt"); }

    std::optional<QString> adminPasswordItem() const {
        return KeychainWrapper::shared().readString(kAdminPasswordItem);
    }

    void submit(const QString& password) {
        m_dialog->edtUserPassword->setText(password);
        m_dialog->clickOK();
    }

    QString m_user;
    QString m_shownUser;
    RecordingScriptRunner m_runner;
    std::unique_ptr<DialogController> m_dialog;
};

TEST_F(DialogControllerTest, Appearance_UserNameForWhoRunsItPasswordHiddenTitleVersion) {
    ASSERT_FALSE(m_user.isEmpty());
    // Root is no administrator the check accepts: as root the field asks for one by name.
    const bool root = m_user == QLatin1String("root");
    EXPECT_EQ(m_shownUser, root ? QStringLiteral("desk-user") : m_user);
    EXPECT_EQ(m_dialog->edtUserName->isReadOnly(), !root);
    EXPECT_EQ(m_dialog->edtUserName->focusPolicy() == Qt::NoFocus, !root);
    EXPECT_EQ(m_dialog->edtUserName->testAttribute(Qt::WA_TransparentForMouseEvents), !root);
    EXPECT_EQ(m_dialog->edtUserPassword->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(m_dialog->txtIncorrectPassword->isVisible());
    EXPECT_TRUE(m_dialog->isModal());
    EXPECT_EQ(m_dialog->windowTitle(), QStringLiteral("ORVEL VPN v") + appShortVersion());
    EXPECT_EQ(m_dialog->minimumSize(), m_dialog->maximumSize());
    for (QLineEdit* field : {m_dialog->edtUserName, m_dialog->edtUserPassword}) {
        EXPECT_EQ(field->palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(field->palette().color(QPalette::Text), QColor(Qt::black));
        EXPECT_EQ(field->palette().color(QPalette::PlaceholderText), sharedGrayColor());
        EXPECT_EQ(field->font().pointSize(), 14);
    }
    EXPECT_TRUE(m_dialog->btnCancel->styleSheet().contains(QStringLiteral("red")));
}

TEST_F(DialogControllerTest, RightPassword_AuthorizesStoresExactValuesAndCloses) {
    QDir().mkpath(tempPath() + QStringLiteral("/local"));
    superviseAttempt();
    submit(QStringLiteral("right \"pw\""));
    EXPECT_TRUE(QFile::exists(marker()));
    EXPECT_TRUE(appState().isAdminAuthorized);
    EXPECT_TRUE(appState().pendingOpenVPNInstall);
    EXPECT_EQ(appState().adminUserName, m_user);
    EXPECT_EQ(preferences().string(QStringLiteral("username")), m_user);
    EXPECT_EQ(adminPasswordItem(), QStringLiteral("right \"pw\""));
    EXPECT_FALSE(preferences().contains(QStringLiteral("userpassword")));
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
}

// The attempt ended while the dialog was open: its answer launches nothing later.
TEST_F(DialogControllerTest, RightPasswordAfterTheAttemptEnded_AuthorizesButStartsNothing) {
    QDir().mkpath(tempPath() + QStringLiteral("/local"));
    submit(QStringLiteral("right \"pw\""));
    EXPECT_TRUE(appState().isAdminAuthorized);
    EXPECT_FALSE(appState().pendingOpenVPNInstall);
}

TEST_F(DialogControllerTest, WrongPassword_ShowsNoticeForACountdownOfTwoAndStaysOpen) {
    QDir().mkpath(tempPath() + QStringLiteral("/local"));
    submit(QStringLiteral("wrong"));
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_TRUE(m_dialog->txtIncorrectPassword->isVisible());
    EXPECT_FALSE(QFile::exists(marker()));
    EXPECT_FALSE(appState().isAdminAuthorized);
    EXPECT_FALSE(appState().pendingOpenVPNInstall);
    EXPECT_FALSE(adminPasswordItem().has_value());
    EXPECT_TRUE(TimerManager::isRunning());
    TimerManager::update();
    TimerManager::update();
    EXPECT_TRUE(m_dialog->txtIncorrectPassword->isVisible());
    TimerManager::update();
    EXPECT_FALSE(m_dialog->txtIncorrectPassword->isVisible());
    EXPECT_FALSE(TimerManager::isRunning());
}

TEST_F(DialogControllerTest, EmptyPassword_ShowsNoticeAndRunsNoCheck) {
    submit(QString());
    EXPECT_TRUE(m_dialog->txtIncorrectPassword->isVisible());
    EXPECT_TRUE(m_runner.statements.isEmpty());
    EXPECT_TRUE(m_dialog->isVisible());
}

TEST_F(DialogControllerTest, Cancel_ChangesNothing) {
    m_dialog->edtUserPassword->setText(QStringLiteral("right \"pw\""));
    m_dialog->btnCancel->click();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(m_runner.statements.isEmpty());
    EXPECT_FALSE(appState().isAdminAuthorized);
    EXPECT_FALSE(appState().pendingOpenVPNInstall);
    EXPECT_FALSE(adminPasswordItem().has_value());
    EXPECT_FALSE(preferences().contains(QStringLiteral("username")));
}

TEST_F(DialogControllerTest, AlreadyAuthorizedAndCheckFails_KeepsTheCredentialsThatWork) {
    appState().isAdminAuthorized = true;
    appState().adminUserName = m_user;
    keepAdminPassword(QStringLiteral("right \"pw\""));
    superviseAttempt();
    m_dialog->edtUserPassword->setText(QStringLiteral("typo"));
    m_dialog->btnOK->click();
    EXPECT_TRUE(appState().pendingOpenVPNInstall);
    EXPECT_EQ(adminPasswordItem(), QStringLiteral("right \"pw\""));
    EXPECT_FALSE(m_dialog->isVisible());
}
