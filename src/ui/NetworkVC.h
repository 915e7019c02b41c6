#pragma once

#include "connection/ConnectionView.h"
#include "platform/SystemVpnService.h"
#include "ui/LoadingBarView.h"
#include "ui/NetworkButton.h"
#include "ui/SaveServerDelegate.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class AccountNotices;
class ConnectSequence;
class ConnectionSession;
class ConnectionStates;
class Failover;
class TunnelControl;
class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

// The main screen: the shown server, the protocol choice, the connect button and the
// state of the tunnel. The logic lives in the run's ConnectionSession and in
// AccountNotices; this class holds the widgets and forwards.
class NetworkVC final : public QWidget, public ConnectionView, public SaveServerDelegate {
    Q_OBJECT
public:
    explicit NetworkVC(ConnectionSession& session, QWidget* parent = nullptr);
    ~NetworkVC() override;

    QPointer<::NetworkButton> NetworkButton;
    QPointer<LoadingBarView> LoadingBar;
    QPointer<QPushButton> SupportLinkButton;
    QPointer<QLabel> ConnectComment;
    QPointer<QPushButton> ServerSelection;
    QPointer<QFrame> OptionBg;
    QPointer<QFrame> OptionTitleBg;
    QPointer<QLabel> OptionTitle;
    QPointer<QCheckBox> CheckBoxIKEV;
    QPointer<QCheckBox> CheckBoxOpen;
    QPointer<QLabel> lbError;
    QPointer<QFrame> boxError;
    QPointer<QWidget> svConnected;
    QPointer<QLabel> ConnectOKLabel;
    QPointer<QLabel> CountryFlag;
    QPointer<QLabel> ServerName;
    QPointer<QFrame> noticeBox;
    QPointer<QFrame> countBox;
    // Shown while the kill switch blocks traffic outside the VPN.
    QPointer<QLabel> trafficBlockedLabel;

    // The set-up runs when the screen is first shown, as a storyboard scene loads its view
    // on first use: the menu makes screens it may throw away unseen.
    void loadViewIfNeeded();

    bool isAutoServer() const;
    bool isDontShow() const;

    void applyVPNStatus(VpnStatus status);
    void showDisconnected();
    void showConnecting();
    void showConnected();
    void refreshServerDisplay();
    void resetDNS();

    void checkConnectMainServer();
    void checkConnectEM1();
    void checkConnectEM2();

    void fetchUserInfo();
    void showExpiryAlert(const QString& text);
    void clickNotShow();

    // ConnectionView
    void renderDisconnected(bool showAutoMatching) override;
    void renderConnecting() override;
    void renderConnected() override;
    void showServer(const QString& name, const QString& country) override;
    void showFailoverMessage(const QString& text) override;
    void hideFailoverMessage() override;
    void setProtocolBoxes(bool ikev2, bool openvpn) override;
    void restartLoadingAnimation() override;
    void presentAdminDialog() override;
    QString shownServerName() const override;

    // SaveServerDelegate
    void didSaveServer() override;

    ConnectionStates& states();
    Failover& failover();
    ConnectSequence& connectSequence();
    AccountNotices& accountNotices() { return *m_notices; }

public slots:
    void ClickConnect();
    void ClickCheckBoxIKEV();
    void ClickCheckBoxOpen();
    void ClickSupport();
    void goToPayment();
    void changeServer();
    void showNotice();
    void performServerSelection();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void viewDidLoad();
    void showNoticeBox();
    void showTrafficBlocked();
    void showFlag(const QString& country);
    void showIdleLook();
    void nameNetworkButton(const char* key);
    void switchProtocol(const QString& protocol);
    // The system VPN's statuses that only touch this screen's widgets; the session moves
    // the states on the others.
    void showSystemStatus(VpnStatus status);

    ConnectionSession& m_session;
    TunnelControl& m_tunnel;
    bool m_loaded = false;
    std::shared_ptr<AccountNotices> m_notices;
};
