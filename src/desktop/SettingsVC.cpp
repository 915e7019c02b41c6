#include "desktop/SettingsVC.h"

#include "core/ConfirmAlert.h"
#include "core/LocalizeStrings.h"
#include "desktop/Autostart.h"
#include "desktop/DesktopSettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SettingsVC::SettingsVC(DesktopSettings& settings, Autostart& autostart, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_autostart(autostart) {
    // The menu recognises the screen by this name when it re-highlights its button.
    setObjectName(QStringLiteral("SettingsVC"));
    setFixedWidth(280);
    setMinimumHeight(500);
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(24, 28, 24, 20);
    m_column->setSpacing(6);

    TitleLabel = new QLabel(localized(QStringLiteral("SETTINGS_TITLE")), this);
    QFont font = TitleLabel->font();
    font.setPointSize(18);
    font.setBold(true);
    TitleLabel->setFont(font);
    TitleLabel->setStyleSheet(QStringLiteral("color: white;"));
    m_column->addWidget(TitleLabel);
    m_column->addSpacing(10);

    QVBoxLayout* general = addSection(localized(QStringLiteral("SETTINGS_GENERAL")));
    StartAtLoginBox = addToggle(general, localized(QStringLiteral("SETTINGS_START_AT_LOGIN")));
    StartAtLoginBox->setChecked(m_autostart.isEnabled());
    connect(StartAtLoginBox, &QCheckBox::toggled, this, &SettingsVC::changeStartAtLogin);
    StartHiddenBox = addToggle(general, localized(QStringLiteral("SETTINGS_START_HIDDEN")));
    StartHiddenBox->setChecked(m_settings.startHidden());
    connect(StartHiddenBox, &QCheckBox::toggled, this,
            [this](bool hidden) { m_settings.setStartHidden(hidden); });

    QVBoxLayout* notifications = addSection(localized(QStringLiteral("SETTINGS_NOTIFICATIONS")));
    NotificationsBox =
        addToggle(notifications, localized(QStringLiteral("SETTINGS_SHOW_NOTIFICATIONS")));
    NotificationsBox->setChecked(m_settings.notificationsEnabled());
    connect(NotificationsBox, &QCheckBox::toggled, this,
            [this](bool enabled) { m_settings.setNotificationsEnabled(enabled); });

    m_network = addSection(localized(QStringLiteral("SETTINGS_NETWORK")), &m_networkHeader);
    m_networkHeader->hide();

    QVBoxLayout* support = addSection(localized(QStringLiteral("SETTINGS_SUPPORT")));
    ExportButton = new QPushButton(localized(QStringLiteral("EXPORT_DIAGNOSTICS")), this);
    ExportButton->setCursor(Qt::PointingHandCursor);
    ExportButton->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(119, 89, 249); border: none;"
                       " border-radius: 6px; padding: 7px 12px; }"
                       "QPushButton:hover { background: rgb(140, 114, 255); }"));
    support->addWidget(ExportButton);
    connect(ExportButton, &QPushButton::clicked, this, &SettingsVC::exportDiagnosticsRequested);
    m_column->addStretch(1);
}

QVBoxLayout* SettingsVC::addSection(const QString& title, QLabel** header) {
    auto* label = new QLabel(title.toUpper(), this);
    QFont font = label->font();
    font.setPointSize(9);
    font.setBold(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: lightgray; padding-top: 12px;"));
    m_column->addWidget(label);
    auto* section = new QVBoxLayout;
    section->setSpacing(8);
    section->setContentsMargins(0, 4, 0, 0);
    m_column->addLayout(section);
    if (header)
        *header = label;
    return section;
}

QCheckBox* SettingsVC::addToggle(QVBoxLayout* section, const QString& text) {
    auto* toggle = new QCheckBox(text, this);
    toggle->setCursor(Qt::PointingHandCursor);
    toggle->setStyleSheet(QStringLiteral("QCheckBox { color: white; spacing: 8px; }"));
    section->addWidget(toggle);
    return toggle;
}

QCheckBox* SettingsVC::addNetworkToggle(const QString& text) {
    m_networkHeader->show();
    return addToggle(m_network, text);
}

void SettingsVC::changeStartAtLogin(bool enabled) {
    if (m_autostart.setEnabled(enabled))
        return;
    showConfirmAlert(localized(QStringLiteral("SETTINGS_AUTOSTART_FAILED")));
    const QSignalBlocker quiet(StartAtLoginBox);
    StartAtLoginBox->setChecked(m_autostart.isEnabled());
}
