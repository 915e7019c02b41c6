#include "desktop/SettingsVC.h"

#include "core/ConfirmAlert.h"
#include "core/LocalizeStrings.h"
#include "desktop/SettingsCatalog.h"
#include "desktop/ToggleBox.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {
QString hintFor(const char* textKey) {
    return localized(QLatin1String(textKey) + QStringLiteral("_HINT"));
}
} // namespace

SettingsVC::SettingsVC(SettingsCatalog& catalog, QWidget* parent)
    : QWidget(parent), m_catalog(catalog) {
    // The menu recognises the screen by this name when it re-highlights its button.
    setObjectName(QStringLiteral("SettingsVC"));
    setFixedWidth(280);
    setMinimumHeight(500);
    // Large fonts make the column taller than the window: it scrolls rather than clips.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget"
                                         " { background: transparent; }"));
    auto* content = new QWidget(scroll);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    m_column = new QVBoxLayout(content);
    m_column->setContentsMargins(24, 28, 24, 20);
    m_column->setSpacing(6);

    TitleLabel = new QLabel(localized(QStringLiteral("SETTINGS_TITLE")), content);
    QFont font = TitleLabel->font();
    font.setPointSizeF(font.pointSizeF() * 1.8);
    font.setBold(true);
    TitleLabel->setFont(font);
    TitleLabel->setWordWrap(true);
    TitleLabel->setStyleSheet(QStringLiteral("color: white;"));
    m_column->addWidget(TitleLabel);
    m_column->addSpacing(10);

    QVBoxLayout* general = addSection(QStringLiteral("SETTINGS_GENERAL"));
    StartAtLoginBox =
        addSetting(general, QStringLiteral("start_at_login"), "SETTINGS_START_AT_LOGIN");
    StartHiddenBox = addSetting(general, QStringLiteral("start_hidden"), "SETTINGS_START_HIDDEN");
    QVBoxLayout* connection = addSection(QStringLiteral("SETTINGS_CONNECTION"));
    ReconnectBox =
        addSetting(connection, QStringLiteral("reconnect_automatically"), "SETTINGS_RECONNECT");
    ConnectAtStartBox =
        addSetting(connection, QStringLiteral("connect_at_start"), "SETTINGS_CONNECT_AT_START");
    QVBoxLayout* notifications = addSection(QStringLiteral("SETTINGS_NOTIFICATIONS"));
    NotificationsBox =
        addSetting(notifications, QStringLiteral("notifications"), "SETTINGS_SHOW_NOTIFICATIONS");

    m_network = addSection(QStringLiteral("SETTINGS_NETWORK"), &m_networkHeader);
    m_networkHeader->hide();

    QVBoxLayout* support = addSection(QStringLiteral("SETTINGS_SUPPORT"));
    ExportButton = new QPushButton(localized(QStringLiteral("EXPORT_DIAGNOSTICS")), content);
    ExportButton->setObjectName(QStringLiteral("ExportButton"));
    ExportButton->setAccessibleDescription(localized(QStringLiteral("EXPORT_DIAGNOSTICS_HINT")));
    ExportButton->setCursor(Qt::PointingHandCursor);
    ExportButton->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(119, 89, 249); border: none;"
                       " border-radius: 6px; padding: 7px 12px; }"
                       "QPushButton:hover, QPushButton:focus { background: rgb(140, 114, 255); }"));
    support->addWidget(ExportButton);
    connect(ExportButton, &QPushButton::clicked, this, &SettingsVC::exportDiagnosticsRequested);
    m_column->addStretch(1);
    connect(&m_catalog, &SettingsCatalog::changed, this, &SettingsVC::showSetting);
    orderTabs();
}

QVBoxLayout* SettingsVC::addSection(const QString& titleKey, QLabel** header) {
    auto* label = new QLabel(localized(titleKey).toUpper(), m_column->parentWidget());
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    font.setBold(true);
    label->setFont(font);
    label->setWordWrap(true);
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
    auto* toggle = new ToggleBox(text, m_column->parentWidget());
    toggle->setAccessibleName(text);
    section->addWidget(toggle);
    return toggle;
}

// Only the settings the catalogue holds get a box.
QCheckBox* SettingsVC::addSetting(QVBoxLayout* section, const QString& name, const char* textKey) {
    const std::optional<bool> value = m_catalog.value(name);
    if (!value)
        return nullptr;
    QCheckBox* box = addToggle(section, localized(QLatin1String(textKey)));
    box->setObjectName(name);
    box->setAccessibleDescription(hintFor(textKey));
    box->setChecked(*value);
    m_boxes.insert(name, box);
    connect(box, &QCheckBox::toggled, this,
            [this, box, name](bool checked) { changeSetting(box, name, checked); });
    return box;
}

void SettingsVC::changeSetting(QCheckBox* box, const QString& name, bool value) {
    const QString refused = m_catalog.set(name, value);
    if (refused.isEmpty())
        return;
    showConfirmAlert(refused);
    const QSignalBlocker quiet(box);
    box->setChecked(m_catalog.value(name).value_or(false));
}

void SettingsVC::showSetting(const QString& name, bool value) {
    if (QCheckBox* box = m_boxes.value(name)) {
        const QSignalBlocker quiet(box);
        box->setChecked(value);
    }
}

QCheckBox* SettingsVC::addNetworkToggle(const QString& text) {
    m_networkHeader->show();
    QCheckBox* toggle = addToggle(m_network, text);
    orderTabs();
    return toggle;
}

void SettingsVC::describeToggle(const QString& objectName, const QString& description) {
    if (auto* box = findChild<QCheckBox*>(objectName))
        box->setAccessibleDescription(description);
}

// Tab follows the column from top to bottom, whatever the order the controls were made in.
void SettingsVC::orderTabs() {
    QList<QWidget*> chain;
    std::function<void(QLayout*)> collect = [&](QLayout* layout) {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem* item = layout->itemAt(i);
            if (item->layout())
                collect(item->layout());
            else if (QWidget* widget = item->widget();
                     widget && (widget->focusPolicy() & Qt::TabFocus))
                chain << widget;
        }
    };
    collect(m_column);
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}
