#include "ui/ViewController.h"

#include "api/ApiClient.h"
#include "api/ApiHosts.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/ContentWindow.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/NoticeModel.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "platform/Browser.h"
#include "platform/Preferences.h"
#include "servers/ServerList.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "ui/CustomAlertView.h"
#include "ui/ImageNamed.h"
#include "ui/LoginButton.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QUuid>

Q_LOGGING_CATEGORY(lcLogin, "orvel.login")

namespace {
constexpr int kWidth = 350;
constexpr int kHeight = 400;
constexpr int kMainWidth = 350;
constexpr int kMainHeight = 500;

const char* const kBackground = "rgb(46, 28, 126)";
const char* const kPlaceholder = "rgb(159, 153, 183)";
const char* const kRegistration = "rgb(187, 128, 249)";

void fitWindow(ContentWindow& window, int width, int height) {
    window.setResizable(true);
    window.setContentSize(width, height);
    window.setResizable(false);
}

std::shared_ptr<NoticeModel> noticeFrom(const ApiReply& notice) {
    return std::make_shared<NoticeModel>(notice.integer("id"), notice.text("content_zh"),
                                         notice.text("content_en"), notice.text("content_ko"));
}

Qt::CheckState checkStateOf(qint64 stored) {
    if (stored > 0)
        return Qt::Checked;
    return stored < 0 ? Qt::PartiallyChecked : Qt::Unchecked;
}

int stateNumber(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return -1;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

QPushButton* makeLinkButton(QWidget* parent, const QRect& frame) {
    auto* button = new QPushButton(parent);
    button->setGeometry(frame);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}
} // namespace

ViewController::ViewController(Storyboard* storyboard, QWidget* parent)
    : QWidget(parent), m_storyboard(storyboard) {
    buildForm();
    viewDidLoad();
}

void ViewController::buildForm() {
    setObjectName(QStringLiteral("ViewController"));
    setFixedSize(kWidth, kHeight);
    ForgetPassword = makeLinkButton(this, QRect(55, 24, 240, 80));
    ForgetPassword->setFocusPolicy(Qt::NoFocus);
    ForgetPassword->setCursor(Qt::ArrowCursor);
    const QPixmap logo = imageNamed(QStringLiteral("login_logo"));
    ForgetPassword->setIcon(QIcon(logo));
    ForgetPassword->setIconSize(QSize(240, 80));
    ForgetPassword->setAccessibleName(QStringLiteral("OrvelVPN"));

    idField = new QLineEdit(this);
    idField->setGeometry(40, 124, 270, 34);
    pwField = new QLineEdit(this);
    pwField->setGeometry(40, 168, 270, 34);
    pwField->setEchoMode(QLineEdit::Password);
    autoLoginCheckBox = new QCheckBox(this);
    autoLoginCheckBox->setGeometry(40, 210, 270, 24);
    autoLoginCheckBox->setTristate(true);
    LoginButton = new ::LoginButton(this);
    LoginButton->setGeometry(40, 244, 270, 40);
    LoginButton->setCursor(Qt::PointingHandCursor);
    ForgotPasswordButton = makeLinkButton(this, QRect(30, 296, 145, 28));
    RegistUser = makeLinkButton(this, QRect(175, 296, 145, 28));
    SupportLinkButton = makeLinkButton(this, QRect(75, 350, 200, 28));

    connect(LoginButton, &QPushButton::clicked, this, &ViewController::ClickLogin);
    connect(idField, &QLineEdit::returnPressed, this, &ViewController::EnterLoginWithSender);
    connect(pwField, &QLineEdit::returnPressed, this, &ViewController::EnterLoginWithSender);
    // A click cycles on and off only; the mixed state comes from the stored value.
    connect(autoLoginCheckBox, &QCheckBox::clicked, this, [this] {
        if (autoLoginCheckBox->checkState() == Qt::PartiallyChecked)
            autoLoginCheckBox->setCheckState(Qt::Checked);
        clickCheckBox();
    });
    connect(ForgotPasswordButton, &QPushButton::clicked, this, &ViewController::clickForget);
    connect(RegistUser, &QPushButton::clicked, this, &ViewController::clickRegist);
    connect(SupportLinkButton, &QPushButton::clicked, this, &ViewController::clickSupport);
}

void ViewController::viewDidLoad() {
    cookie_url = cookieDomainOf(appState().apiBaseURL);
    if (auto* window = dynamic_cast<ContentWindow*>(this->window()))
        fitWindow(*window, kWidth, kHeight);
    if (!services().mainWindow)
        return;
    services().mainWindow->setResizable(false);

    for (QLineEdit* field : {idField.data(), pwField.data()}) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::PlaceholderText, QColor(159, 153, 183));
        palette.setColor(QPalette::Text, Qt::white);
        field->setPalette(palette);
        QFont font = field->font();
        font.setPointSize(14);
        field->setFont(font);
    }
    idField->setPlaceholderText(localized(QStringLiteral("EMAIL")));
    pwField->setPlaceholderText(localized(QStringLiteral("PASSWORD")));
    // No label stands by the fields: their hints are their names.
    idField->setAccessibleName(idField->placeholderText());
    pwField->setAccessibleName(pwField->placeholderText());

    const Preferences* preferences = services().preferences;
    if (preferences && preferences->contains(QStringLiteral("isChecked"))) {
        autoLoginCheckBox->setCheckState(
            checkStateOf(preferences->integer(QStringLiteral("isChecked")).value_or(0)));
        if (preferences->string(QStringLiteral("isChecked")) == QStringLiteral("1")) {
            idField->setText(preferences->string(QStringLiteral("email")).value_or(QString()));
            pwField->setText(
                KeychainWrapper::shared().readString(kAccountPasswordItem).value_or(QString()));
            m_signingInAutomatically = true;
            login();
        }
    }
    styleControls();
}

void ViewController::styleControls() {
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("#ViewController { background: %1; border: none; }"
                                 "QLineEdit { color: white; background: rgba(255, 255, 255, 30); "
                                 "border: 1px solid %2; border-radius: 5px; padding: 0 8px; }"
                                 "QCheckBox { color: white; }"
                                 "QPushButton { border: none; background: transparent; }")
                      .arg(QLatin1String(kBackground), QLatin1String(kPlaceholder)));
    RegistUser->setText(localized(QStringLiteral("USER_ADD")));
    RegistUser->setStyleSheet(QStringLiteral("color: %1; border-radius: 5px; text-align: center;")
                                  .arg(QLatin1String(kRegistration)));
    LoginButton->setText(localized(QStringLiteral("LOGIN_BUTTON")));
    LoginButton->setStyleSheet(QStringLiteral(
        "QPushButton { color: white; background: rgb(110, 65, 230); border: none; "
        "border-radius: 5px; text-align: center; font-weight: bold; }"
        "QPushButton:hover { background: rgb(130, 90, 240); }"
        "QPushButton:disabled { background: rgb(90, 70, 150); color: rgb(190, 185, 210); }"));
    ForgotPasswordButton->setText(localized(QStringLiteral("FORGOT")));
    ForgotPasswordButton->setStyleSheet(
        QStringLiteral("color: %1;").arg(QLatin1String(kPlaceholder)));
    autoLoginCheckBox->setText(localized(QStringLiteral("AUTOLOGIN")));
    SupportLinkButton->setText(localized(QStringLiteral("CONTACT_SUPPORT")));
    SupportLinkButton->setStyleSheet(QStringLiteral("color: white; text-decoration: underline;"));
}

void ViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        viewDidAppear();
    }
}

void ViewController::viewDidAppear() {
    window()->setWindowTitle(localized(QStringLiteral("APPTITLE")) + appShortVersion());
    if (auto* window = dynamic_cast<ContentWindow*>(this->window()))
        fitWindow(*window, kWidth, kHeight);
    qCInfo(lcLogin) << "login screen ready";
}

void ViewController::ClickLogin() {
    login();
}

void ViewController::EnterLoginWithSender() {
    login();
}

void ViewController::login() {
    const QString email = idField->text();
    const QString password = pwField->text();
    ApiClient* api = services().api;
    if (!api) {
        qCWarning(lcLogin) << "no API client to sign in with";
        return;
    }
    setSessionCookies(api->cookieJar(), cookie_url);
    logLine(QStringLiteral("csrf ===> ") + maskedSecret(appState().csrfToken));
    const QString version = appShortVersion();
    if (version.isEmpty())
        return;
    QPointer self(this);
    api->send(
        QLatin1String(ApiPath::sessionKey),
        [email, password, version] {
            return ApiFields{{QStringLiteral("login_email"), email},
                             {QStringLiteral("login_password"), password},
                             {QStringLiteral("app_version"), version},
                             {QStringLiteral("device_type"), QStringLiteral("MacOS")},
                             {QStringLiteral("device_uuid"),
                              QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()}};
        },
        [self, email, password](const ApiReply& reply) {
            if (self)
                self->handleLoginReply(reply, email, password);
        },
        [self] {
            if (self)
                self->login();
        });
}

void ViewController::handleLoginReply(const ApiReply& reply, const QString& email,
                                      const QString& password) {
    const QString result = reply.text("result");
    logLine(QStringLiteral("login status ====>") + result);
    if (result == QLatin1String("200")) {
        rememberLogin(email, password);
        takeNotices(reply);
        loadServerLists();
    } else if (result == QLatin1String("300")) {
        showLoginAlert(QStringLiteral("LOGINCOUNTALERT"));
    } else if (result == QLatin1String("400")) {
        showLoginAlert(QStringLiteral("LOGINNOTENTERALERT"));
    } else if (result == QLatin1String("444")) {
        showLoginAlert(QStringLiteral("SESSIONLOADDING"));
    } else if (result == QLatin1String("500")) {
        logLine(QString());
    } else if (result == QLatin1String("600")) {
        showLoginAlert(QStringLiteral("LOGININCOLLECTALERT"));
    } else {
        showLoginAlert(QStringLiteral("ERRORALERT"));
    }
}

void ViewController::rememberLogin(const QString& email, const QString& password) {
    Preferences* preferences = services().preferences;
    if (!preferences)
        return;
    switch (autoLoginCheckBox->checkState()) {
    case Qt::Checked:
        preferences->setValue(QStringLiteral("isChecked"), 1);
        preferences->setValue(QStringLiteral("email"), email);
        if (!KeychainWrapper::shared().writeString(password, kAccountPasswordItem))
            qCWarning(lcLogin) << "the password could not be kept in the keychain;"
                               << "the next start will not sign in by itself";
        break;
    case Qt::Unchecked:
        logLine(QStringLiteral("checkBox not checked"));
        preferences->setValue(QStringLiteral("isChecked"), 0);
        break;
    case Qt::PartiallyChecked:
        break;
    }
}

void ViewController::takeNotices(const ApiReply& reply) {
    AppState& state = appState();
    const Preferences* preferences = services().preferences;
    const qint64 lastSeen =
        preferences ? preferences->integer(QStringLiteral("notice_id")).value_or(0) : 0;
    qint64 newest = 0;
    const QList<ApiReply> userNotices = reply.array("user_notice");
    if (!userNotices.isEmpty()) {
        const ApiReply& notice = userNotices.first();
        state.currentNotice = noticeFrom(notice);
        if (lastSeen < notice.integer("id")) {
            state.hasUnreadNotice = true;
            newest = notice.integer("id");
        }
    }
    const QList<ApiReply> commonNotices = reply.array("common_notice");
    if (!commonNotices.isEmpty()) {
        const ApiReply& notice = commonNotices.first();
        if (!state.currentNotice || newest < notice.integer("id"))
            state.currentNotice = noticeFrom(notice);
        if (lastSeen < notice.integer("id"))
            state.hasUnreadNotice = true;
    }
}

void ViewController::loadServerLists() {
    QPointer self(this);
    getServerList(
        {[](const QString& result) { logLine(QStringLiteral("Get Server List====>") + result); },
         [self] {
             if (self)
                 self->goToMain();
         },
         this});
}

CustomAlertView* ViewController::showLoginAlert(const QString& key) {
    return showAlertOver(this, {LoginButton, idField, pwField}, localized(key),
                         QStringLiteral("alert"));
}

void ViewController::goToMain() {
    logLine(QStringLiteral("Go To Main====>"));
    QMetaObject::invokeMethod(
        this,
        [this] {
            logLine(QStringLiteral("Go To Main1====>"));
            ContentWindow* window = services().mainWindow;
            if (!window || !m_storyboard)
                return;
            QWidget* controller =
                m_storyboard->instantiateController(QStringLiteral("OrvelController"));
            if (!controller)
                return;
            if (!controller->inherits("OrvelController")) {
                delete controller;
                return;
            }
            controller->resize(kMainWidth, kMainHeight);
            window->setContentViewController(controller);
            fitWindow(*window, kMainWidth, kMainHeight);
            logLine(QStringLiteral("Go To Main2====>"));
            if (m_signingInAutomatically)
                emit signedInAutomatically();
        },
        Qt::QueuedConnection);
}

void ViewController::clickCheckBox() {
    logLine(QStringLiteral("asd") + QString::number(stateNumber(autoLoginCheckBox->checkState())));
}

void ViewController::clickForget() {
    if (services().browser)
        services().browser->open(QUrl(appState().apiBaseURL + QStringLiteral("/forgot_password")));
}

void ViewController::clickRegist() {
    if (services().browser)
        services().browser->open(QUrl(appState().apiBaseURL + QStringLiteral("/regist")));
}

void ViewController::clickSupport() {
    if (services().browser)
        services().browser->open(QUrl(supportChatURL()));
}
