#pragma once

#include "startup/SettingsPackage.h"
#include "startup/StartupSteps.h"

// The start-up steps of a real run: the kernel's interface list and the settings
// package.
class SystemStartupSteps final : public StartupSteps {
public:
    explicit SystemStartupSteps(SettingsPackageInstaller::Options package);

    int countTunnelInterfaces() override;
    void verifyStoredAdmin() override;
    void removeLegacyFolder() override;
    bool isOpenVPNInstalled() override;
    void downloadSettingsPackage(std::function<void()> continueWithNetworkCheck,
                                 std::function<void()> failed) override;

private:
    SettingsPackageInstaller m_package;
    QMetaObject::Connection m_failed; // of the download that runs now
};
