#include "ui/MenuVC.h"

#include "connection/AccountNotices.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "tunnel/SignOut.h"
#include "ui/ImageNamed.h"
#include "ui/MenuButton.h"
#include "ui/OrvelController.h"

#include <QLabel>
#include <QVBoxLayout>
#include <array>

namespace {
struct MenuEntry {
    const char* label;
    const char* image;
    const char* highlight;
};

// By tag, 1 to 7.
constexpr std::array<MenuEntry, 7> kEntries{{{"VPN", "ntw", "ntw_white"},
                                             {"User", "usr", "usr_white"},
                                             {"Change", "cng", "cng_white"},
                                             {"Pay", "cd", "cd_white"},
                                             {"Logout", "ext", "ext_white"},
                                             {"Update", "update", "update_white"},
                                             {"Settings", "stg", "stg_white"}}};
const QString kSettingsScreen = QStringLiteral("SettingsVC");

bool isSettingsScreen(const QWidget* screen) {
    return screen && screen->objectName() == kSettingsScreen;
}

const MenuEntry& entry(int tag) {
    return kEntries.at(static_cast<size_t>(tag - 1));
}

void setImage(MenuButton* button, const char* name) {
    if (button)
        button->setIcon(QIcon(imageNamed(QLatin1String(name))));
}

bool sameClass(const QWidget* a, const QWidget* b) {
    return a && b && a->metaObject() == b->metaObject();
}
} // namespace

MenuVC::MenuVC(QWidget* parent) : QWidget(parent) {
    buildElements();
    viewDidLoad();
}

void MenuVC::buildElements() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 18, 0, 14);
    column->setSpacing(2);
    std::array<QPointer<MenuButton>*, 7> buttons{&NetworkBtn, &UserBtn,   &ChangeBtn,  &CardBtn,
                                                 &ExitBtn,    &UpdateBtn, &SettingsBtn};
    std::array<QPointer<QLabel>*, 7> labels{&NetworkLabel, &UserLabel,   &ChangeLabel,  &CardLabel,
                                            &ExitLabel,    &UpdateLabel, &SettingsLabel};
    // Settings sits with Update at the foot of the menu.
    for (int tag : {1, 2, 3, 4, 5, kSettingsTag, 6}) {
        if (tag == kSettingsTag)
            column->addStretch(1);
        auto* button = new MenuButton(this);
        button->setTag(tag);
        button->setFixedSize(70, 40);
        button->setIconSize(QSize(28, 28));
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
        setImage(button, entry(tag).image);
        // The buttons are pictures: their names come from the table.
        const QString key =
            QStringLiteral("A11Y_MENU_") + QString::fromLatin1(entry(tag).label).toUpper();
        button->setAccessibleName(localized(key));
        button->setAccessibleDescription(localized(key + QStringLiteral("_HINT")));
        connect(button, &QPushButton::clicked, this, [this, button] { clickMenu(button); });
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QFont font = label->font();
        font.setPointSize(9);
        label->setFont(font);
        column->addWidget(button, 0, Qt::AlignHCenter);
        column->addWidget(label);
        column->addSpacing(8);
        *buttons.at(tag - 1) = button;
        *labels.at(tag - 1) = label;
    }
}

void MenuVC::viewDidLoad() {
    setFixedWidth(70);
    setMinimumHeight(500);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(26, 13, 83));
    setPalette(colours);
    const std::array<QLabel*, 7> labels{NetworkLabel, UserLabel,   ChangeLabel,  CardLabel,
                                        ExitLabel,    UpdateLabel, SettingsLabel};
    for (int tag = 1; tag <= kSettingsTag; ++tag)
        labels.at(tag - 1)->setText(QLatin1String(entry(tag).label));
    for (QLabel* label : labels)
        label->setStyleSheet(QStringLiteral("color: white;"));
    setImage(NetworkBtn, "ntw_white");
}

MenuButton* MenuVC::buttonWithTag(int tag) const {
    for (MenuButton* button : findChildren<MenuButton*>()) {
        if (button->tag() == tag)
            return button;
    }
    return nullptr;
}

void MenuVC::clickMenu(MenuButton* sender) {
    logLine(QStringLiteral("clickMenu"));
    auto* shell = qobject_cast<OrvelController*>(parentWidget());
    Storyboard* storyboard = services().storyboard;
    if (!shell || !storyboard || !sender)
        return;
    // New screens on every click: a screen shown again starts afresh.
    std::array<std::unique_ptr<QWidget>, 3> fresh{
        std::unique_ptr<QWidget>(storyboard->instantiateController(QStringLiteral("NetworkVC"))),
        std::unique_ptr<QWidget>(storyboard->instantiateController(QStringLiteral("UserVC"))),
        std::unique_ptr<QWidget>(
            storyboard->instantiateController(QStringLiteral("PasswordChangeVC")))};
    for (const auto& screen : fresh) {
        if (!screen)
            return;
    }
    QList<QWidget*> items = shell->splitViewItems();
    for (int tag = 1; tag <= kSettingsTag; ++tag)
        setImage(buttonWithTag(tag), entry(tag).image);
    QWidget* current = items.value(1);
    logLine(QString::fromLatin1(current ? current->metaObject()->className() : ""));
    logLine(QString::fromLatin1(fresh[0]->metaObject()->className()));

    const int tag = sender->tag();
    if (tag == kSettingsTag &&
        (isSettingsScreen(current) || storyboard->hasController(kSettingsScreen))) {
        showSettings(*shell, current);
        return;
    }
    if (tag >= 1 && tag <= 3 && !sameClass(current, fresh.at(tag - 1).get())) {
        QWidget* wanted = fresh.at(tag - 1).release();
        if (items.size() > 1)
            items[1] = wanted;
        else
            items << wanted;
        shell->setSplitViewItems(items);
        setImage(sender, entry(tag).highlight);
        sender->isClicked = true;
        return;
    }
    for (int shown = 1; shown <= 3; ++shown) {
        if (sameClass(current, fresh.at(shown - 1).get())) {
            setImage(buttonWithTag(shown), entry(shown).highlight);
            break;
        }
    }
    if (isSettingsScreen(current))
        setImage(SettingsBtn, entry(kSettingsTag).highlight);
    runAction(tag);
}

void MenuVC::showSettings(OrvelController& shell, QWidget* current) {
    if (!isSettingsScreen(current)) {
        QList<QWidget*> items = shell.splitViewItems();
        QWidget* settings = services().storyboard->instantiateController(kSettingsScreen);
        if (items.size() > 1)
            items[1] = settings;
        else
            items << settings;
        shell.setSplitViewItems(items);
    }
    setImage(SettingsBtn, entry(kSettingsTag).highlight);
    SettingsBtn->isClicked = true;
}

void MenuVC::runAction(int tag) {
    switch (tag) {
    case 4:
        AccountNotices::goToPayment();
        break;
    case 5:
        if (appState().isConnected)
            showConfirmAlert(localized(QStringLiteral("VPNDISCONNECT")));
        else
            signOut();
        break;
    case 6:
        showConfirmAlert(localized(appState().startupNoticeFlag ? QStringLiteral("CHECKNETWORK")
                                                                : QStringLiteral("UPDATE_NOTICE")));
        break;
    default:
        break;
    }
}
