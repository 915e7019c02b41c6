#include "tunnel/VPNManager.h"

#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/Diagnostics.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/Preferences.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcVpn, "orvel.tunnel")

const QString kRecentServerKey = QStringLiteral("vpn_recent_connected_server");
const QString kPasswordItem = QStringLiteral("KEYCHAIN_PASSWORD_KEY");
const QString kPskItem = QStringLiteral("KEYCHAIN_PSK_KEY");

std::unique_ptr<VPNManager>& sharedInstance() {
    static std::unique_ptr<VPNManager> instance;
    return instance;
}

// Completions of the service may outlive a manager that tests replaced.
template <typename Step> auto whileAlive(VPNManager* manager, Step step) {
    return [alive = QPointer<VPNManager>(manager), step = std::move(step)](auto&&... args) {
        if (alive)
            step(std::forward<decltype(args)>(args)...);
    };
}

void logFailure(const QString& line) {
    qCWarning(lcVpn).noquote() << line;
    logLine(line);
}

bool isDown(VpnStatus status) {
    return status == VpnStatus::Disconnected || status == VpnStatus::Invalid;
}

void report(const std::function<void(const QString&)>& completion, const QString& message) {
    if (completion)
        completion(message);
}

} // namespace

VPNManager& VPNManager::shared() {
    std::unique_ptr<VPNManager>& instance = sharedInstance();
    if (!instance) {
        Services& wired = services();
        if (!wired.vpnService || !wired.itemStore || !wired.preferences)
            qFatal("VPNManager needs the VPN service, the item store and the preferences");
        instance =
            std::make_unique<VPNManager>(*wired.vpnService, *wired.itemStore, *wired.preferences);
    }
    return *instance;
}

void VPNManager::resetShared(VPNManager* replacement) {
    sharedInstance().reset(replacement);
}

VPNManager::VPNManager(SystemVpnService& manager, ItemStore& items, Preferences& preferences,
                       QObject* parent)
    : QObject(parent), m_manager(manager),
      m_keychain(items, QString::fromLatin1(KeychainWrapper::kDefaultServiceName)),
      m_preferences(preferences) {
    QObject::connect(&m_manager, &SystemVpnService::statusDidChange, this,
                     &VPNManager::VPNStatusDidChange);
    m_manager.setLocalizedDescription(appBundleName());
    loadProfile();
}

IKEv2Settings VPNManager::makeProtocol(const Configuration& configuration) {
    IKEv2Settings settings;
    settings.authenticationMethod = configuration.psk ? IKEv2Settings::Authentication::SharedSecret
                                                      : IKEv2Settings::Authentication::None;
    settings.serverAddress = configuration.server;
    settings.disconnectOnSleep = false;
    settings.deadPeerDetectionRate = 2;
    settings.username = configuration.account;
    m_keychain.writeString(configuration.password, kPasswordItem);
    settings.passwordReference = m_keychain.readPersistentReference(kPasswordItem);
    if (configuration.psk) {
        m_keychain.writeString(*configuration.psk, kPskItem);
        settings.sharedSecretReference = m_keychain.readPersistentReference(kPskItem);
    }
    settings.disableMOBIKE = false;
    settings.disableRedirect = false;
    settings.enableRevocationCheck = false;
    settings.enablePFS = false;
    settings.useExtendedAuthentication = true;
    settings.useConfigurationAttributeInternalIPSubnet = false;
    settings.remoteIdentifier = configuration.server;
    settings.localIdentifier = configuration.account;
    return settings;
}

void VPNManager::connect(const Configuration& configuration, const QString& serverName,
                         std::function<void(const QString&)> completion) {
    const IKEv2Settings settings = makeProtocol(configuration);
    m_preferences.setValue(kRecentServerKey, serverName);
    logLine(QStringLiteral("저장할 서버주소 : ") + serverName);
    const quint64 disconnects = m_disconnects;
    m_connectPending = true;
    auto started = whileAlive(this, [this, completion, disconnects](bool loaded) {
        if (!loaded) {
            m_connectPending = false;
            report(completion, QStringLiteral("Unable to load profile"));
            return;
        }
        if (startTunnel()) {
            m_refusedStartsInARow = 0;
            // Already up or coming up, with no stop of ours still to report: nothing
            // late can arrive.
            const VpnStatus now = m_manager.status();
            if (!m_stopUnreported && (now == VpnStatus::Connecting || now == VpnStatus::Connected))
                m_connectPending = false;
            return;
        }
        m_connectPending = false;
        report(completion, QStringLiteral("Can't connect"));
        afterRefusedStart(disconnects);
    });
    auto saved = whileAlive(this, [this, completion, started](bool ok) {
        if (!ok) {
            m_connectPending = false;
            report(completion, QStringLiteral("Unable to save vpn profile"));
            return;
        }
        loadProfile(started);
    });
    m_manager.loadFromPreferences(whileAlive(this, [this, settings, saved](const QString&) {
        m_manager.setProtocolConfiguration(settings);
        m_manager.setEnabled(true);
        saveProfile(saved);
    }));
}

void VPNManager::afterRefusedStart(quint64 disconnectsAtConnect) {
    if (disconnectsAtConnect != m_disconnects)
        return;
    if (++m_refusedStartsInARow > kReconnectLimit) {
        m_refusedStartsInARow = 0;
        qCWarning(lcVpn) << "tunnel start refused" << kReconnectLimit + 1
                         << "times in a row, no further attempt";
        return;
    }
    reconnectCurrentServer();
}

void VPNManager::reconnectCurrentServer() {
    const AppState& state = appState();
    if (!state.currentServer) {
        qCInfo(lcVpn) << "no current server to reconnect to";
        return;
    }
    const QString server = state.currentServer->hostdomain;
    const Configuration configuration{server, state.vpnUsername, state.vpnPassword, false,
                                      std::nullopt};
    configuration.saveToDefaults(m_preferences);
    connect(configuration, server, &VPNManager::logMessage);
}

void VPNManager::loadProfile(std::function<void(bool)> completion) {
    m_manager.loadFromPreferences(whileAlive(this, [this, completion](const QString& error) {
        if (!error.isEmpty())
            logFailure(QStringLiteral("Failed to load preferences: ") + error);
        if (completion)
            completion(error.isEmpty() && m_manager.protocolConfiguration().has_value());
    }));
}

void VPNManager::saveProfile(std::function<void(bool)> completion) {
    m_manager.saveToPreferences(whileAlive(this, [completion](const QString& error) {
        if (!error.isEmpty())
            logFailure(QStringLiteral("Failed to save profile: ") + error);
        completion(error.isEmpty());
    }));
}

bool VPNManager::startTunnel() {
    switch (m_manager.startVPNTunnel()) {
    case SystemVpnService::ErrorCode::None:
        return true;
    case SystemVpnService::ErrorCode::ConfigurationInvalid:
        logFailure(QStringLiteral("Failed to start tunnel (configuration invalid)"));
        return false;
    case SystemVpnService::ErrorCode::ConfigurationDisabled:
        logFailure(QStringLiteral("Failed to start tunnel (configuration disabled)"));
        return false;
    case SystemVpnService::ErrorCode::Other:
        break;
    }
    logFailure(QStringLiteral("Failed to start tunnel (other error)"));
    return false;
}

void VPNManager::disconnect(std::function<void()> completion) {
    clearProfileAndStop(std::move(completion));
}

void VPNManager::disconnectForTermination(std::function<void(bool)> replyToTerminate,
                                          std::function<void()> completion) {
    // The quit waits for the IKE SA to end, a few seconds at most: a process that ends
    // first would leave the tunnel up.
    auto reply = std::make_shared<std::function<void(bool)>>(std::move(replyToTerminate));
    auto answer = [reply] {
        if (*reply)
            std::exchange(*reply, {})(true);
    };
    auto* watch = new QObject(this);
    auto answerOnce = [watch, answer] {
        answer();
        watch->deleteLater();
    };
    QTimer::singleShot(kTerminationWaitMs, watch, answerOnce);
    clearProfileAndStop([this, watch, answerOnce, completion = std::move(completion)] {
        if (completion)
            completion();
        if (isDown(m_manager.status()))
            answerOnce();
        else
            QObject::connect(&m_manager, &SystemVpnService::statusDidChange, watch,
                             [this, answerOnce] {
                                 if (isDown(m_manager.status()))
                                     answerOnce();
                             });
    });
}

void VPNManager::clearProfileAndStop(std::function<void()> completion) {
    ++m_disconnects;
    m_connectPending = false;
    m_refusedStartsInARow = 0;
    m_preferences.setValue(kRecentServerKey, QString());
    m_manager.clearOnDemandRules();
    m_manager.setOnDemandEnabled(false);
    m_manager.saveToPreferences(whileAlive(this, [this, completion](const QString&) {
        m_stopUnreported = !isDown(m_manager.status());
        m_manager.stopVPNTunnel();
        if (completion)
            completion();
    }));
}

void VPNManager::VPNStatusDidChange() {
    const VpnStatus status = m_manager.status();
    if (status == VpnStatus::Connecting || status == VpnStatus::Connected)
        m_connectPending = false;
    const bool stopReport = m_stopUnreported && isDown(status);
    if (isDown(status))
        m_stopUnreported = false;
    // The stop of the tunnel before a new connect reports itself late: told to the
    // screen, it would end the new attempt and hide the server being tried.
    if (m_connectPending && (stopReport || status == VpnStatus::Disconnecting))
        return;
    statusEvent.notify(status);
}

void VPNManager::logMessage(const QString& message) {
    logLine(message);
}
