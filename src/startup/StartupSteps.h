#pragma once

#include <functional>

// The start-up checks that belong to other subsystems: the tunnel-interface count and
// the settings package.
class StartupSteps {
public:
    virtual ~StartupSteps() = default;

    virtual int countTunnelInterfaces() = 0;
    virtual void verifyStoredAdmin() = 0;
    virtual void removeLegacyFolder() = 0;
    virtual bool isOpenVPNInstalled() = 0;
    // Starts the download and returns. When the package host answered, the package is
    // installed and continueWithNetworkCheck runs on the main thread; when no answer
    // came, failed runs instead.
    virtual void downloadSettingsPackage(std::function<void()> continueWithNetworkCheck,
                                         std::function<void()> failed) = 0;
};
