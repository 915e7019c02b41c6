#include "ui/NetworkVCLayout.h"

#include "core/LocalizeStrings.h"
#include "ui/ImageNamed.h"
#include "ui/LoadingBarView.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {
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

} // namespace

void layOutNetworkVC(NetworkVC& screen) {
    screen.setAutoFillBackground(true);
    QPalette colours = screen.palette();
    colours.setColor(QPalette::Window, QColor(46, 28, 126));
    screen.setPalette(colours);

    screen.noticeBox = new QFrame(&screen);
    screen.noticeBox->setGeometry(232, 10, 38, 30);
    auto* noticeButton = new QPushButton(screen.noticeBox);
    noticeButton->setGeometry(0, 2, 34, 26);
    noticeButton->setIcon(imageNamed(QStringLiteral("notice")));
    noticeButton->setIconSize(QSize(20, 20));
    noticeButton->setFlat(true);
    noticeButton->setCursor(Qt::PointingHandCursor);
    noticeButton->setStyleSheet(QStringLiteral("border: none;"));
    noticeButton->setAccessibleName(localized(QStringLiteral("A11Y_NOTICE")));
    noticeButton->setAccessibleDescription(localized(QStringLiteral("A11Y_NOTICE_HINT")));
    QObject::connect(noticeButton, &QPushButton::clicked, &screen, &NetworkVC::showNotice);
    screen.countBox = new QFrame(screen.noticeBox);
    screen.countBox->setGeometry(26, 2, 9, 9);
    screen.countBox->setStyleSheet(QStringLiteral("background: #ff4d4f; border-radius: 4px;"));

    screen.CountryFlag = new QLabel(&screen);
    screen.CountryFlag->setGeometry(20, 46, 36, 24);
    screen.CountryFlag->setScaledContents(true);
    screen.ServerName = makeLabel(&screen, QRect(64, 40, 210, 36), 14, QStringLiteral("white"));
    // Names come from the service: shown as they are, never as markup.
    screen.ServerName->setTextFormat(Qt::PlainText);
    screen.ServerName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    screen.ServerSelection = new QPushButton(&screen);
    screen.ServerSelection->setGeometry(60, 86, 160, 30);
    screen.ServerSelection->setCursor(Qt::PointingHandCursor);
    screen.ServerSelection->setAccessibleDescription(
        localized(QStringLiteral("A11Y_SERVER_SELECTION_HINT")));
    QObject::connect(screen.ServerSelection, &QPushButton::clicked, &screen,
                     &NetworkVC::performServerSelection);

    screen.NetworkButton = new ::NetworkButton(&screen);
    screen.NetworkButton->setGeometry(65, 132, 150, 150);
    screen.NetworkButton->setIconSize(QSize(150, 150));
    screen.NetworkButton->setFlat(true);
    screen.NetworkButton->setCursor(Qt::PointingHandCursor);
    screen.NetworkButton->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    QObject::connect(screen.NetworkButton, &QPushButton::clicked, &screen,
                     &NetworkVC::ClickConnect);

    screen.LoadingBar = new LoadingBarView(&screen);
    screen.LoadingBar->setGeometry(60, 294, 160, 12);
    screen.LoadingBar->setScaledContents(true);
    screen.ConnectComment =
        makeLabel(&screen, QRect(20, 288, 240, 24), 15, QStringLiteral("#ffd400"));

    screen.svConnected = new QWidget(&screen);
    screen.svConnected->setGeometry(20, 288, 240, 24);
    auto* connectedLayout = new QHBoxLayout(screen.svConnected);
    connectedLayout->setContentsMargins(0, 0, 0, 0);
    screen.ConnectOKLabel = makeLabel(screen.svConnected, QRect(), 15, QStringLiteral("#ffd400"));
    connectedLayout->addWidget(screen.ConnectOKLabel);

    screen.boxError = new QFrame(&screen);
    screen.boxError->setGeometry(15, 318, 250, 46);
    screen.boxError->setStyleSheet(
        QStringLiteral("background: rgba(255, 77, 79, 40); border: 1px solid #ff7875; "
                       "border-radius: 5px;"));
    screen.lbError =
        makeLabel(screen.boxError, QRect(6, 2, 238, 42), 11, QStringLiteral("#ffd8d8"));
    screen.lbError->setStyleSheet(
        QStringLiteral("color: #ffd8d8; border: none; background: transparent;"));
    screen.lbError->setWordWrap(true);
    screen.lbError->setTextFormat(Qt::PlainText);
    screen.boxError->hide();

    screen.OptionBg = new QFrame(&screen);
    screen.OptionBg->setGeometry(15, 374, 250, 76);
    screen.OptionBg->setStyleSheet(
        QStringLiteral("background: rgb(26, 13, 83); border-radius: 6px;"));
    screen.OptionTitleBg = new QFrame(&screen);
    screen.OptionTitleBg->setGeometry(15, 374, 250, 26);
    screen.OptionTitleBg->setStyleSheet(
        QStringLiteral("background: rgb(110, 65, 230); border-top-left-radius: 6px; "
                       "border-top-right-radius: 6px;"));
    screen.OptionTitle = makeLabel(&screen, QRect(15, 374, 250, 26), 11, QStringLiteral("white"));
    screen.CheckBoxIKEV = makeCheckBox(&screen, QRect(34, 410, 110, 30), QString());
    screen.CheckBoxOpen = makeCheckBox(&screen, QRect(160, 410, 100, 30), QString());
    for (QCheckBox* box : {screen.CheckBoxIKEV.data(), screen.CheckBoxOpen.data()})
        box->setAccessibleDescription(localized(QStringLiteral("A11Y_PROTOCOL_HINT")));
    QObject::connect(screen.CheckBoxIKEV, &QCheckBox::clicked, &screen,
                     &NetworkVC::ClickCheckBoxIKEV);
    QObject::connect(screen.CheckBoxOpen, &QCheckBox::clicked, &screen,
                     &NetworkVC::ClickCheckBoxOpen);

    screen.trafficBlockedLabel =
        makeLabel(&screen, QRect(10, 12, 218, 24), 10, QStringLiteral("#ffb020"));
    screen.trafficBlockedLabel->setWordWrap(true);
    screen.trafficBlockedLabel->hide();

    screen.SupportLinkButton = new QPushButton(&screen);
    screen.SupportLinkButton->setGeometry(40, 462, 200, 26);
    screen.SupportLinkButton->setFlat(true);
    screen.SupportLinkButton->setCursor(Qt::PointingHandCursor);
    screen.SupportLinkButton->setAccessibleDescription(
        localized(QStringLiteral("A11Y_SUPPORT_HINT")));
    QObject::connect(screen.SupportLinkButton, &QPushButton::clicked, &screen,
                     &NetworkVC::ClickSupport);
}
