#include "tunnel/DialogController.h"

#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/Services.h"
#include "connection/TimerManager.h"
#include "platform/AdminAuthenticator.h"
#include "platform/MemoryPreferences.h"
#include "platform/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
        m_dialog = std::make_unique<DialogController>(nullptr, marker());
        m_dialog->show();
    }
    QString marker() const { return tempPath() + QStringLiteral("/local/orvel_admin_check.txt"); }

    void submit(const QString& password) {
        m_dialog->edtUserPassword->setText(password);
        m_dialog->clickOK();
    }

    QString m_user;
    RecordingScriptRunner m_runner;
    std::unique_ptr<DialogController> m_dialog;
};

TEST_F(DialogControllerTest, Appearance_UserNameFixedPasswordHiddenNoticeHiddenTitleVersion) {
    ASSERT_FALSE(m_user.isEmpty());
    EXPECT_EQ(m_dialog->edtUserName->text(), m_user);
    EXPECT_TRUE(m_dialog->edtUserName->isReadOnly());
    EXPECT_EQ(m_dialog->edtUserName->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(m_dialog->edtUserName->testAttribute(Qt::WA_TransparentForMouseEvents));
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
    submit(QStringLiteral("right \"pw\""));
    EXPECT_TRUE(QFile::exists(marker()));
    EXPECT_TRUE(appState().isAdminAuthorized);
    EXPECT_TRUE(appState().pendingOpenVPNInstall);
    EXPECT_EQ(appState().adminUserName, m_user);
    EXPECT_EQ(appState().adminPassword, QStringLiteral("right \"pw\""));
    EXPECT_EQ(preferences().string(QStringLiteral("username")), m_user);
    EXPECT_EQ(preferences().string(QStringLiteral("userpassword")), QStringLiteral("right \"pw\""));
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
}

TEST_F(DialogControllerTest, WrongPassword_ShowsNoticeForACountdownOfTwoAndStaysOpen) {
    QDir().mkpath(tempPath() + QStringLiteral("/local"));
    submit(QStringLiteral("wrong"));
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_TRUE(m_dialog->txtIncorrectPassword->isVisible());
    EXPECT_FALSE(QFile::exists(marker()));
    EXPECT_FALSE(appState().isAdminAuthorized);
    EXPECT_FALSE(appState().pendingOpenVPNInstall);
    EXPECT_FALSE(preferences().contains(QStringLiteral("userpassword")));
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
    EXPECT_TRUE(appState().adminPassword.isEmpty());
    EXPECT_FALSE(preferences().contains(QStringLiteral("username")));
}

TEST_F(DialogControllerTest, AlreadyAuthorizedAndCheckFails_KeepsTheCredentialsThatWork) {
    appState().isAdminAuthorized = true;
    appState().adminUserName = m_user;
    appState().adminPassword = QStringLiteral("right \"pw\"");
    m_dialog->edtUserPassword->setText(QStringLiteral("typo"));
    m_dialog->btnOK->click();
    EXPECT_TRUE(appState().pendingOpenVPNInstall);
    EXPECT_EQ(appState().adminPassword, QStringLiteral("right \"pw\""));
    EXPECT_FALSE(preferences().contains(QStringLiteral("userpassword")));
    EXPECT_FALSE(m_dialog->isVisible());
}
