#include "ui/NetworkVC.h"

#include "connection/AccountNotices.h"
#include "connection/ConnectSequence.h"
#include "connection/ConnectionSession.h"
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
#include "ui/DialogController.h"
#include "ui/ImageNamed.h"
#include "ui/LoadingBarView.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVCLayout.h"
#include "ui/TableViewController.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QUrl>

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");
const QString kOpenVPN = QStringLiteral("OPENVPN");
constexpr int kWidth = 280;
constexpr int kHeight = 500;

QString languageCode() {
    return QLocale().name().section(QLatin1Char('_'), 0, 0);
}
} // namespace

NetworkVC::NetworkVC(ConnectionSession& session, QWidget* parent)
    : QWidget(parent), m_session(session), m_tunnel(session.tunnel()),
      m_notices(std::make_shared<AccountNotices>()) {
    layOutNetworkVC(*this);
}

NetworkVC::~NetworkVC() = default;

ConnectionStates& NetworkVC::states() {
    return m_session.states();
}

Failover& NetworkVC::failover() {
    return m_session.failover();
}

ConnectSequence& NetworkVC::connectSequence() {
    return m_session.connectSequence();
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

    // A screen made while a tunnel is up or coming up (the menu swapped screens) shows
    // that tunnel's server and look; the attempt goes on, and this screen shows how it
    // ends.
    states().attachView(this, this);
    m_session.followSystemStatus();
    const bool tunnelUp = state.isConnected;
    const bool attemptUnderway = !tunnelUp && m_session.isAttemptUnderway();
    if (!tunnelUp && !attemptUnderway)
        state.currentServer = state.ikev2ServerList.value(0);
    refreshServerDisplay();

    if (!tunnelUp && !attemptUnderway)
        applyVPNStatus(m_tunnel.vpnStatus());
    m_tunnel.statusEvent().subscribe(this, &NetworkVC::showSystemStatus);

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
    else if (attemptUnderway)
        renderConnecting();
    else
        showDisconnected();

    showNoticeBox();
    fetchUserInfo();
}

bool NetworkVC::isAutoServer() const {
    return m_session.states().isAutoServer;
}

bool NetworkVC::isDontShow() const {
    return m_notices->isDontShow;
}

void NetworkVC::showSystemStatus(VpnStatus status) {
    if (status != VpnStatus::Disconnected && status != VpnStatus::Connecting &&
        status != VpnStatus::Connected)
        applyVPNStatus(status);
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
        states().applyStateForStatus(status);
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
    nameNetworkButton("A11Y_CONNECT");
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
    states().showDisconnected();
}

void NetworkVC::showConnecting() {
    states().showConnecting();
}

void NetworkVC::showConnected() {
    states().showConnected();
}

void NetworkVC::resetDNS() {
    states().resetDNS();
}

// The button is a picture: its name says what a press does now.
void NetworkVC::nameNetworkButton(const char* key) {
    NetworkButton->setAccessibleName(localized(QLatin1String(key)));
    NetworkButton->setAccessibleDescription(
        localized(QLatin1String(key) + QStringLiteral("_HINT")));
}

void NetworkVC::renderDisconnected(bool showAutoMatching) {
    const auto& server = appState().currentServer;
    nameNetworkButton("A11Y_CONNECT");
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
    nameNetworkButton("A11Y_CONNECTING");
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
    nameNetworkButton("A11Y_DISCONNECT");
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
    DialogController::present(this);
}

QString NetworkVC::shownServerName() const {
    return ServerName->text();
}

void NetworkVC::didSaveServer() {
    refreshServerDisplay();
}

void NetworkVC::checkConnectMainServer() {
    failover().checkConnectMainServer();
}

void NetworkVC::checkConnectEM1() {
    failover().checkConnectEM1();
}

void NetworkVC::checkConnectEM2() {
    failover().checkConnectEM2();
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
    connectSequence().ClickConnect();
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
