#pragma once

#include "app/LaunchOptions.h"
#include "app/SettingsPackage.h"
#include "app/StartupSteps.h"

// The start-up steps of a real run: the kernel's interface list and the settings
// package.
class SystemStartupSteps final : public StartupSteps {
public:
    // The package address and its checksum come from the launch options when given.
    explicit SystemStartupSteps(const LaunchOptions& options);

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
