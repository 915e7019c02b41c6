#pragma once

#include "app/SettingsPackage.h"
#include "app/StartupSteps.h"

// The start-up steps of a real run: the kernel's interface list and the settings
// package.
class SystemStartupSteps final : public StartupSteps {
public:
    explicit SystemStartupSteps(SettingsPackageInstaller::Options options);

    int countTunnelInterfaces() override;
    void verifyStoredAdmin() override;
    void removeLegacyFolder() override;
    bool isOpenVPNInstalled() override;
    void downloadSettingsPackage(std::function<void()> continueWithNetworkCheck) override;

private:
    SettingsPackageInstaller m_package;
};
