#include "app/SystemStartupSteps.h"

#include "app/PackagePin.h"
#include "app/Services.h"
#include "connection/TunnelInterfaces.h"
#include "platform/InterfaceList.h"

namespace {

SettingsPackageInstaller::Options packageOptions(const LaunchOptions& launch) {
    SettingsPackageInstaller::Options options;
    if (!launch.packageUrl.isEmpty())
        options.packageUrl = launch.packageUrl;
    PackagePin::setLaunchOption(launch.packageSha256);
    options.packageSha256 = PackagePin::pinnedSha256();
    return options;
}

} // namespace

SystemStartupSteps::SystemStartupSteps(const LaunchOptions& options)
    : m_package(packageOptions(options)) {}

int SystemStartupSteps::countTunnelInterfaces() {
    const InterfaceList* interfaces = services().interfaces;
    return interfaces ? ::countTunnelInterfaces(*interfaces) : 0;
}

void SystemStartupSteps::verifyStoredAdmin() {
    m_package.verifyStoredAdmin();
}

void SystemStartupSteps::removeLegacyFolder() {
    m_package.removeLegacyFolder();
}

bool SystemStartupSteps::isOpenVPNInstalled() {
    return m_package.isOpenVPNInstalled();
}

void SystemStartupSteps::downloadSettingsPackage(std::function<void()> continueWithNetworkCheck,
                                                 std::function<void()> failed) {
    QObject::disconnect(m_failed);
    m_failed = QObject::connect(&m_package, &SettingsPackageInstaller::downloadFailed, &m_package,
                                std::move(failed));
    m_package.downloadSettingsPackage(std::move(continueWithNetworkCheck));
}
