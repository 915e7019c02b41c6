#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// The status values of the system VPN connection.
enum class VpnStatus {
    Invalid = 0,
    Disconnected = 1,
    Connecting = 2,
    Connected = 3,
    Reasserting = 4,
    Disconnecting = 5,
};

// The IKEv2 protocol settings of the profile.
struct IKEv2Settings {
    enum class Authentication { None = 0, SharedSecret = 2 };
    Authentication authenticationMethod = Authentication::None;
    QString serverAddress;
    bool disconnectOnSleep = false;
    int deadPeerDetectionRate = 2; // medium
    QString username;
    std::optional<QByteArray> passwordReference;
    std::optional<QByteArray> sharedSecretReference;
    bool disableMOBIKE = false;
    bool disableRedirect = false;
    bool enableRevocationCheck = false;
    bool enablePFS = false;
    bool useExtendedAuthentication = true;
    bool useConfigurationAttributeInternalIPSubnet = false;
    QString remoteIdentifier;
    QString localIdentifier;
};

// The application's one system VPN profile and its connection. Completions and status
// changes arrive on the main thread.
class SystemVpnService : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    enum class ErrorCode {
        None = 0,
        ConfigurationInvalid = 1,
        ConfigurationDisabled = 2,
        Other = 3
    };

    // The error text is empty on success.
    virtual void loadFromPreferences(std::function<void(const QString& error)> completion) = 0;
    virtual void saveToPreferences(std::function<void(const QString& error)> completion) = 0;

    virtual std::optional<IKEv2Settings> protocolConfiguration() const = 0;
    virtual void setProtocolConfiguration(const std::optional<IKEv2Settings>& settings) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setLocalizedDescription(const QString& description) = 0;
    virtual void setOnDemandEnabled(bool enabled) = 0;
    virtual void clearOnDemandRules() = 0;

    // Fails at once with a code, or starts and reports progress as status changes.
    virtual ErrorCode startVPNTunnel() = 0;
    virtual void stopVPNTunnel() = 0;
    virtual VpnStatus status() const = 0;
    // Reads the connection's state again now, after the network changed under it; a
    // change comes as a status change.
    virtual void recheckStatus() {}
    // Whether the service behind the profile runs at all; a start is refused while not.
    virtual bool isAvailable() const { return true; }

signals:
    void statusDidChange();
};
