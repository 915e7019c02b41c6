#include "startup/SystemStartupSteps.h"

#include "core/Services.h"
#include "platform/InterfaceList.h"
#include "tunnel/TunnelInterfaces.h"

SystemStartupSteps::SystemStartupSteps(SettingsPackageInstaller::Options package)
    : m_package(std::move(package)) {}

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
