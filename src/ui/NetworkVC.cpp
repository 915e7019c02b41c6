#include "ui/NetworkVC.h"

#include "connection/AccountNotices.h"
#include "connection/ConnectSequence.h"
#include "connection/ConnectionStates.h"
#include "connection/Failover.h"
#include "connection/TunnelControl.h"
#include "core/AppState.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "platform/Browser.h"
#include "platform/NotificationCenter.h"
#include "servers/SelectionStore.h"
#include "ui/ImageNamed.h"
#include "ui/LoadingBarView.h"
#include "ui/NetworkButton.h"
#include "ui/TableViewController.h"

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QUrl>

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");
const QString kOpenVPN = QStringLiteral("OPENVPN");
constexpr int kWidth = 280;
constexpr int kHeight = 500;

QLabel* makeLabel(QWidget* parent, const QRect& geometry, int pointSize, const QString& colour) {
    auto* label = new QLabel(parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour));
    return label;
}

QCheckBox* makeCheckBox(QWidget* parent, const QRect& geometry, const QString& title) {
    auto* box = new QCheckBox(title, parent);
    box->setGeometry(geometry);
    box->setStyleSheet(QStringLiteral(
        "QCheckBox { color: white; } QCheckBox:disabled { color: rgba(255,255,255,140); } "
        "QCheckBox::indicator { width: 13px; height: 13px; border: 2px solid white; "
        "border-radius: 3px; background: transparent; } "
        "QCheckBox::indicator:checked { background: rgb(119, 89, 249); } "
        "QCheckBox::indicator:disabled { border-color: rgba(255,255,255,140); }"));
    return box;
}

QString languageCode() {
    return QLocale().name().section(QLatin1Char('_'), 0, 0);
}
} // namespace

NetworkVC::NetworkVC(TunnelControl& tunnel, QWidget* parent)
    : QWidget(parent), m_tunnel(tunnel), m_states(std::make_shared<ConnectionStates>(tunnel)),
      m_failover(std::make_shared<Failover>(m_states, tunnel, services().linkMonitor)),
      m_connect(std::make_shared<ConnectSequence>(m_states, m_failover, tunnel)),
      m_notices(std::make_shared<AccountNotices>()) {
    m_states->attachView(this, this);
    buildElements();
}

NetworkVC::~NetworkVC() = default;

void NetworkVC::buildElements() {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(46, 28, 126));
    setPalette(colours);

    noticeBox = new QFrame(this);
    noticeBox->setGeometry(232, 10, 38, 30);
    auto* noticeButton = new QPushButton(noticeBox);
    noticeButton->setGeometry(0, 2, 34, 26);
    noticeButton->setIcon(imageNamed(QStringLiteral("notice")));
    noticeButton->setIconSize(QSize(20, 20));
    noticeButton->setFlat(true);
    noticeButton->setCursor(Qt::PointingHandCursor);
    noticeButton->setStyleSheet(QStringLiteral("border: none;"));
    connect(noticeButton, &QPushButton::clicked, this, &NetworkVC::showNotice);
    countBox = new QFrame(noticeBox);
    countBox->setGeometry(26, 2, 9, 9);
    countBox->setStyleSheet(QStringLiteral("background: #ff4d4f; border-radius: 4px;"));

    CountryFlag = new QLabel(this);
    CountryFlag->setGeometry(20, 46, 36, 24);
    CountryFlag->setScaledContents(true);
    ServerName = makeLabel(this, QRect(64, 40, 210, 36), 14, QStringLiteral("white"));
    // Names come from the service: shown as they are, never as markup.
    ServerName->setTextFormat(Qt::PlainText);
    ServerName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    ServerSelection = new QPushButton(this);
    ServerSelection->setGeometry(60, 86, 160, 30);
    ServerSelection->setCursor(Qt::PointingHandCursor);
    connect(ServerSelection, &QPushButton::clicked, this, &NetworkVC::performServerSelection);

    NetworkButton = new ::NetworkButton(this);
    NetworkButton->setGeometry(65, 132, 150, 150);
    NetworkButton->setIconSize(QSize(150, 150));
    NetworkButton->setFlat(true);
    NetworkButton->setCursor(Qt::PointingHandCursor);
    NetworkButton->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    connect(NetworkButton, &QPushButton::clicked, this, &NetworkVC::ClickConnect);

    LoadingBar = new LoadingBarView(this);
    LoadingBar->setGeometry(60, 294, 160, 12);
    LoadingBar->setScaledContents(true);
    ConnectComment = makeLabel(this, QRect(20, 288, 240, 24), 15, QStringLiteral("#ffd400"));

    svConnected = new QWidget(this);
    svConnected->setGeometry(20, 288, 240, 24);
    auto* connectedLayout = new QHBoxLayout(svConnected);
    connectedLayout->setContentsMargins(0, 0, 0, 0);
    ConnectOKLabel = makeLabel(svConnected, QRect(), 15, QStringLiteral("#ffd400"));
    connectedLayout->addWidget(ConnectOKLabel);

    boxError = new QFrame(this);
    boxError->setGeometry(15, 318, 250, 46);
    boxError->setStyleSheet(
        QStringLiteral("background: rgba(255, 77, 79, 40); border: 1px solid #ff7875; "
                       "border-radius: 5px;"));
    lbError = makeLabel(boxError, QRect(6, 2, 238, 42), 11, QStringLiteral("#ffd8d8"));
    lbError->setStyleSheet(
        QStringLiteral("color: #ffd8d8; border: none; background: transparent;"));
    lbError->setWordWrap(true);
    lbError->setTextFormat(Qt::PlainText);
    boxError->hide();

    OptionBg = new QFrame(this);
    OptionBg->setGeometry(15, 374, 250, 76);
    OptionBg->setStyleSheet(QStringLiteral("background: rgb(26, 13, 83); border-radius: 6px;"));
    OptionTitleBg = new QFrame(this);
    OptionTitleBg->setGeometry(15, 374, 250, 26);
    OptionTitleBg->setStyleSheet(
        QStringLiteral("background: rgb(110, 65, 230); border-top-left-radius: 6px; "
                       "border-top-right-radius: 6px;"));
    OptionTitle = makeLabel(this, QRect(15, 374, 250, 26), 11, QStringLiteral("white"));
    CheckBoxIKEV = makeCheckBox(this, QRect(34, 410, 110, 30), QString());
    CheckBoxOpen = makeCheckBox(this, QRect(160, 410, 100, 30), QString());
    connect(CheckBoxIKEV, &QCheckBox::clicked, this, &NetworkVC::ClickCheckBoxIKEV);
    connect(CheckBoxOpen, &QCheckBox::clicked, this, &NetworkVC::ClickCheckBoxOpen);

    trafficBlockedLabel = makeLabel(this, QRect(10, 12, 218, 24), 10, QStringLiteral("#ffb020"));
    trafficBlockedLabel->setWordWrap(true);
    trafficBlockedLabel->hide();

    SupportLinkButton = new QPushButton(this);
    SupportLinkButton->setGeometry(40, 462, 200, 26);
    SupportLinkButton->setFlat(true);
    SupportLinkButton->setCursor(Qt::PointingHandCursor);
    connect(SupportLinkButton, &QPushButton::clicked, this, &NetworkVC::ClickSupport);
}

void NetworkVC::loadViewIfNeeded() {
    if (m_loaded)
        return;
    m_loaded = true;
    viewDidLoad();
}

void NetworkVC::showEvent(QShowEvent* event) {
    loadViewIfNeeded();
    QWidget::showEvent(event);
}

void NetworkVC::viewDidLoad() {
    AppState& state = appState();
    resize(kWidth, kHeight);
    setMinimumSize(kWidth, kHeight);

    LoadingBar->stopAnimation();
    ConnectComment->hide();

    // A screen made while a tunnel is up (the menu swapped screens) shows that tunnel's
    // server and look. An attempt still underway is watched by the screen that started
    // it, which is gone: it is ended, so nothing runs behind a disconnected look.
    const bool tunnelUp = state.isConnected;
    if (!tunnelUp) {
        if (state.isConnecting)
            m_states->abandonAttempt();
        state.currentServer = state.ikev2ServerList.value(0);
    }
    refreshServerDisplay();

    if (!tunnelUp)
        applyVPNStatus(m_tunnel.vpnStatus());
    m_tunnel.statusEvent().subscribe(this, &NetworkVC::applyVPNStatus);

    ServerSelection->setStyleSheet(
        QStringLiteral("QPushButton { background: rgb(119, 89, 249); color: white; border: none; "
                       "border-radius: 5px; } QPushButton:hover { background: rgb(135, 108, "
                       "250); }"));
    ServerSelection->setText(localized(QStringLiteral("SELECT_SERVER")));
    OptionTitle->setText(localized(QStringLiteral("CONNECT_OPTION")));
    CheckBoxIKEV->setText(localized(QStringLiteral("CHECKBOX_IKEV")));
    CheckBoxOpen->setText(QStringLiteral("OpenVPN"));
    // The layout's initial ticks follow the protocol that is really selected.
    setProtocolBoxes(state.selectedProtocol == kIKEv2, state.selectedProtocol == kOpenVPN);
    ConnectOKLabel->setText(localized(QStringLiteral("CONNECT")));
    SupportLinkButton->setText(localized(QStringLiteral("CONTACT_SUPPORT")));
    SupportLinkButton->setStyleSheet(
        QStringLiteral("QPushButton { color: white; border: none; text-decoration: underline; }"));

    if (services().notifications) {
        services().notifications->observe(QStringLiteral("changedServer"), this,
                                          [this] { changeServer(); });
        services().notifications->observe(QStringLiteral("trafficBlockedChanged"), this,
                                          [this] { showTrafficBlocked(); });
    }
    trafficBlockedLabel->setText(localized(QStringLiteral("KILLSWITCH_BLOCKING")));
    showTrafficBlocked();
    if (tunnelUp)
        renderConnected();
    else
        showDisconnected();

    showNoticeBox();
    fetchUserInfo();
}

bool NetworkVC::isAutoServer() const {
    return m_states->isAutoServer;
}

bool NetworkVC::isDontShow() const {
    return m_notices->isDontShow;
}

void NetworkVC::applyVPNStatus(VpnStatus status) {
    if (appState().selectedProtocol != kIKEv2)
        return;
    switch (status) {
    case VpnStatus::Invalid:
        showIdleLook();
        break;
    case VpnStatus::Disconnected:
    case VpnStatus::Connecting:
    case VpnStatus::Connected:
        m_states->applyStateForStatus(status);
        break;
    case VpnStatus::Reasserting:
        NetworkButton->setEnabled(false);
        LoadingBar->hide();
        ConnectComment->hide();
        refreshServerDisplay();
        for (QWidget* element :
             {static_cast<QWidget*>(ServerSelection), (QWidget*)OptionBg, (QWidget*)OptionTitle,
              (QWidget*)OptionTitleBg, (QWidget*)CheckBoxIKEV})
            element->hide();
        svConnected->show();
        break;
    case VpnStatus::Disconnecting:
        NetworkButton->setEnabled(false);
        LoadingBar->hide();
        ConnectComment->hide();
        svConnected->hide();
        logLine(QStringLiteral("연결해제중.."));
        break;
    default:
        logLine(QStringLiteral("관리자 문의"));
        break;
    }
}

void NetworkVC::showIdleLook() {
    NetworkButton->setIcon(imageNamed(QStringLiteral("main_off")));
    NetworkButton->setEnabled(true);
    LoadingBar->hide();
    ConnectComment->hide();
    refreshServerDisplay();
    ServerSelection->setEnabled(true);
    for (QWidget* element :
         {static_cast<QWidget*>(ServerSelection), (QWidget*)OptionBg, (QWidget*)OptionTitle,
          (QWidget*)OptionTitleBg, (QWidget*)CheckBoxIKEV})
        element->show();
    svConnected->hide();
}

void NetworkVC::showDisconnected() {
    m_states->showDisconnected();
}

void NetworkVC::showConnecting() {
    m_states->showConnecting();
}

void NetworkVC::showConnected() {
    m_states->showConnected();
}

void NetworkVC::resetDNS() {
    m_states->resetDNS();
}

void NetworkVC::renderDisconnected(bool showAutoMatching) {
    const auto& server = appState().currentServer;
    NetworkButton->setIcon(imageNamed(QStringLiteral("main_off")));
    NetworkButton->setEnabled(true);
    LoadingBar->setPixmap(imageNamed(QStringLiteral("discon")));
    LoadingBar->stopAnimation();
    LoadingBar->hide();
    ConnectComment->setText(localized(QStringLiteral("NOTCONNECT")));
    ConnectComment->show();
    if (server) {
        ServerName->setText(localized(server->name));
        showFlag(server->country);
    }
    ServerSelection->show();
    CheckBoxIKEV->setEnabled(true);
    CheckBoxOpen->setEnabled(true);
    svConnected->hide();
    if (showAutoMatching)
        ServerName->setText(localized(QStringLiteral("AUTO_MATCHING")));
}

void NetworkVC::renderConnecting() {
    const auto& server = appState().currentServer;
    NetworkButton->setEnabled(false);
    LoadingBar->show();
    LoadingBar->setPixmap(imageNamed(QStringLiteral("LoadingBar")));
    LoadingBar->startAnimation();
    ConnectComment->hide();
    CheckBoxIKEV->setEnabled(false);
    CheckBoxOpen->setEnabled(false);
    svConnected->hide();
    ServerSelection->hide();
    if (server) {
        showFlag(server->country);
        ServerName->setText(server->name);
    }
}

void NetworkVC::renderConnected() {
    const auto& server = appState().currentServer;
    boxError->hide();
    NetworkButton->setIcon(imageNamed(QStringLiteral("main_on")));
    NetworkButton->setEnabled(true);
    LoadingBar->hide();
    ConnectComment->hide();
    CheckBoxIKEV->setEnabled(false);
    CheckBoxOpen->setEnabled(false);
    svConnected->show();
    ServerSelection->hide();
    if (server) {
        showFlag(server->country);
        ServerName->setText(server->name);
    }
}

void NetworkVC::refreshServerDisplay() {
    const auto& server = appState().currentServer;
    if (!server)
        return;
    ServerName->setText(localized(server->name));
    showFlag(server->country);
}

void NetworkVC::showServer(const QString& name, const QString& country) {
    ServerName->setText(name);
    showFlag(country);
}

void NetworkVC::showFlag(const QString& country) {
    CountryFlag->setPixmap(imageNamed(QStringLiteral("mFlag") + country));
}

void NetworkVC::showFailoverMessage(const QString& text) {
    lbError->setText(text);
    boxError->show();
}

void NetworkVC::hideFailoverMessage() {
    boxError->hide();
}

void NetworkVC::setProtocolBoxes(bool ikev2, bool openvpn) {
    CheckBoxIKEV->setChecked(ikev2);
    CheckBoxOpen->setChecked(openvpn);
}

void NetworkVC::restartLoadingAnimation() {
    LoadingBar->stopAnimation();
    LoadingBar->startAnimation();
}

void NetworkVC::presentAdminDialog() {
    // One administrator dialog at a time: a later attempt raises the open one.
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
    // Modal, but the supervision ticks go on while it is open.
    dialog->setParent(this, Qt::Dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

QString NetworkVC::shownServerName() const {
    return ServerName->text();
}

void NetworkVC::didSaveServer() {
    refreshServerDisplay();
}

void NetworkVC::checkConnectMainServer() {
    m_failover->checkConnectMainServer();
}

void NetworkVC::checkConnectEM1() {
    m_failover->checkConnectEM1();
}

void NetworkVC::checkConnectEM2() {
    m_failover->checkConnectEM2();
}

void NetworkVC::fetchUserInfo() {
    m_notices->fetchUserInfo();
}

void NetworkVC::showExpiryAlert(const QString& text) {
    m_notices->showExpiryAlert(text);
}

void NetworkVC::clickNotShow() {
    m_notices->clickNotShow();
}

void NetworkVC::ClickConnect() {
    m_connect->ClickConnect();
}

void NetworkVC::ClickCheckBoxIKEV() {
    setProtocolBoxes(true, false);
    switchProtocol(kIKEv2);
}

void NetworkVC::ClickCheckBoxOpen() {
    setProtocolBoxes(false, true);
    switchProtocol(kOpenVPN);
}

void NetworkVC::switchProtocol(const QString& protocol) {
    AppState& state = appState();
    if (state.selectedProtocol == protocol)
        return;
    state.selectedProtocol = protocol;
    const auto& list = protocol == kIKEv2 ? state.ikev2ServerList : state.openvpnServerList;
    state.currentServer = list.value(0);
    refreshServerDisplay();
    if (state.currentServer)
        saveSelection(state.currentServer);
}

void NetworkVC::ClickSupport() {
    if (Browser* browser = services().browser)
        browser->open(QUrl(supportChatURL()));
}

void NetworkVC::goToPayment() {
    AccountNotices::goToPayment();
}

void NetworkVC::changeServer() {
    refreshServerDisplay();
}

void NetworkVC::showNotice() {
    AccountNotices::showNotice(languageCode());
    countBox->hide();
}

void NetworkVC::showNoticeBox() {
    const AppState& state = appState();
    noticeBox->setVisible(state.currentNotice != nullptr);
    countBox->setVisible(state.currentNotice && state.hasUnreadNotice);
    AccountNotices::announceUnreadNotice(languageCode());
}

void NetworkVC::showTrafficBlocked() {
    trafficBlockedLabel->setVisible(appState().trafficBlocked);
}

void NetworkVC::performServerSelection() {
    auto* list = new TableViewController(this);
    list->saveDelegate = this;
    list->setAttribute(Qt::WA_DeleteOnClose);
    list->open();
}
