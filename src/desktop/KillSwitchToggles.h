#pragma once

class KillSwitch;
class SettingsVC;

// The kill switch's two settings in the network section of the settings screen: "Block
// traffic outside the VPN" and "Allow the local network", the second only open while
// the first is on. Each change applies at once.
void addKillSwitchToggles(SettingsVC& screen, KillSwitch& killSwitch);
