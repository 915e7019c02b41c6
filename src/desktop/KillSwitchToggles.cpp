#include "desktop/KillSwitchToggles.h"

#include "core/LocalizeStrings.h"
#include "desktop/SettingsVC.h"
#include "killswitch/KillSwitch.h"

#include <QCheckBox>

void addKillSwitchToggles(SettingsVC& screen, KillSwitch& killSwitch) {
    QCheckBox* block = screen.addNetworkToggle(localized(QStringLiteral("KILLSWITCH_SETTING")));
    block->setObjectName(QStringLiteral("KillSwitchBox"));
    block->setChecked(killSwitch.isEnabled());
    QCheckBox* local = screen.addNetworkToggle(localized(QStringLiteral("KILLSWITCH_ALLOW_LAN")));
    local->setObjectName(QStringLiteral("AllowLocalNetworkBox"));
    local->setChecked(killSwitch.allowsLocalNetwork());
    local->setEnabled(block->isChecked());
    QObject::connect(block, &QCheckBox::toggled, &screen, [&killSwitch, local](bool on) {
        killSwitch.setEnabled(on);
        local->setEnabled(on);
    });
    QObject::connect(local, &QCheckBox::toggled, &screen,
                     [&killSwitch](bool allow) { killSwitch.setAllowLocalNetwork(allow); });
}
