#include "platform/StrongSwanVpnService.h"

#include "platform/ItemStore.h"
#include "platform/PrivateRuntimeFolder.h"
#include "platform/SwanctlConfig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcStrongSwan, "orvel.platform")

const QString kName = QString::fromLatin1(StrongSwanVpnService::kConnectionName);
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerFolder = kOwnerOnly | QFileDevice::ExeOwner;

QString socketPath(const QString& socket) {
    return socket.startsWith(QLatin1String("unix://")) ? socket.mid(7) : socket;
}

bool makeOwnerFolder(const QString& path) {
    return QDir().mkpath(path) && QFile::setPermissions(path, kOwnerFolder);
}

QString writeOwnerOnly(const QString& path, const QByteArray& bytes) {
    if (!makeOwnerFolder(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot create the folder of ") + path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerOnly) ||
        file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString();
    return {};
}

QJsonValue optionalBytes(const std::optional<QByteArray>& bytes) {
    return bytes ? QJsonValue(QString::fromLatin1(bytes->toBase64())) : QJsonValue();
}

std::optional<QByteArray> bytesOf(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    return QByteArray::fromBase64(value.toString().toLatin1());
}

QJsonObject toJson(const IKEv2Settings& s) {
    return {
        {QStringLiteral("authenticationMethod"), static_cast<int>(s.authenticationMethod)},
        {QStringLiteral("serverAddress"), s.serverAddress},
        {QStringLiteral("disconnectOnSleep"), s.disconnectOnSleep},
        {QStringLiteral("deadPeerDetectionRate"), s.deadPeerDetectionRate},
        {QStringLiteral("username"), s.username},
        {QStringLiteral("passwordReference"), optionalBytes(s.passwordReference)},
        {QStringLiteral("sharedSecretReference"), optionalBytes(s.sharedSecretReference)},
        {QStringLiteral("disableMOBIKE"), s.disableMOBIKE},
        {QStringLiteral("disableRedirect"), s.disableRedirect},
        {QStringLiteral("enableRevocationCheck"), s.enableRevocationCheck},
        {QStringLiteral("enablePFS"), s.enablePFS},
        {QStringLiteral("useExtendedAuthentication"), s.useExtendedAuthentication},
        {QStringLiteral("useConfigurationAttributeInternalIPSubnet"),
         s.useConfigurationAttributeInternalIPSubnet},
        {QStringLiteral("remoteIdentifier"), s.remoteIdentifier},
        {QStringLiteral("localIdentifier"), s.localIdentifier},
    };
}

IKEv2Settings fromJson(const QJsonObject& o) {
    IKEv2Settings s;
    s.authenticationMethod = o.value(QStringLiteral("authenticationMethod")).toInt() == 2
                                 ? IKEv2Settings::Authentication::SharedSecret
                                 : IKEv2Settings::Authentication::None;
    s.serverAddress = o.value(QStringLiteral("serverAddress")).toString();
    s.disconnectOnSleep = o.value(QStringLiteral("disconnectOnSleep")).toBool();
    s.deadPeerDetectionRate = o.value(QStringLiteral("deadPeerDetectionRate")).toInt(2);
    s.username = o.value(QStringLiteral("username")).toString();
    s.passwordReference = bytesOf(o.value(QStringLiteral("passwordReference")));
    s.sharedSecretReference = bytesOf(o.value(QStringLiteral("sharedSecretReference")));
    s.disableMOBIKE = o.value(QStringLiteral("disableMOBIKE")).toBool();
    s.disableRedirect = o.value(QStringLiteral("disableRedirect")).toBool();
    s.enableRevocationCheck = o.value(QStringLiteral("enableRevocationCheck")).toBool();
    s.enablePFS = o.value(QStringLiteral("enablePFS")).toBool();
    s.useExtendedAuthentication = o.value(QStringLiteral("useExtendedAuthentication")).toBool();
    s.useConfigurationAttributeInternalIPSubnet =
        o.value(QStringLiteral("useConfigurationAttributeInternalIPSubnet")).toBool();
    s.remoteIdentifier = o.value(QStringLiteral("remoteIdentifier")).toString();
    s.localIdentifier = o.value(QStringLiteral("localIdentifier")).toString();
    return s;
}

// The CA the server certificate must chain to goes where --file looks for it.
QString refreshTrustedCa(const QString& source, const QString& target) {
    QDir(target).removeRecursively();
    if (!makeOwnerFolder(target))
        return QStringLiteral("cannot create ") + target;
    const QFileInfo info(source);
    QFileInfoList files;
    if (info.isDir())
        files = QDir(source).entryInfoList(QDir::Files);
    else if (info.isFile())
        files << info;
    for (const QFileInfo& file : std::as_const(files)) {
        if (!QFile::copy(file.absoluteFilePath(), target + QLatin1Char('/') + file.fileName()))
            return QStringLiteral("cannot copy ") + file.absoluteFilePath();
    }
    return {};
}

} // namespace

StrongSwanVpnService::Settings StrongSwanVpnService::Settings::fromEnvironment() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    Settings settings;
    settings.profileFile = data + QStringLiteral("/ikev2-profile.json");
    const QString runtime = privateRuntimeFolder();
    if (!runtime.isEmpty())
        settings.swanctlFolder = runtime + QStringLiteral("/swanctl");
    settings.viciSocket =
        qEnvironmentVariable("ORVEL_CHARON_VICI", QStringLiteral("/var/run/charon.vici"));
    settings.trustedCa =
        qEnvironmentVariable("ORVEL_IKEV2_CA", QStringLiteral("/etc/swanctl/x509ca"));
    const QString selectors = qEnvironmentVariable("ORVEL_IKEV2_REMOTE_TS");
    if (!selectors.isEmpty())
        settings.remoteTrafficSelector = selectors;
    return settings;
}

StrongSwanVpnService::StrongSwanVpnService(ItemStore& items, SwanctlRunner& runner,
                                           Settings settings, QObject* parent)
    : SystemVpnService(parent), m_items(items), m_runner(runner), m_config(std::move(settings)) {
    m_connectedCheck.setInterval(m_config.connectedCheckMs);
    connect(&m_connectedCheck, &QTimer::timeout, this, [this] { refreshStatus(m_operation); });
}

bool StrongSwanVpnService::viciReachable(const QString& socket) {
    const QByteArray path = QFile::encodeName(socketPath(socket));
    sockaddr_un address{};
    if (path.isEmpty() || path.size() >= static_cast<qsizetype>(sizeof(address.sun_path)))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const bool listening = result == 0 || errno == EAGAIN;
    ::close(fd);
    return listening;
}

QString StrongSwanVpnService::readProfile() {
    QFile file(m_config.profileFile);
    if (!file.exists()) {
        m_settings.reset();
        return {};
    }
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the VPN profile: ") + file.errorString();
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return QStringLiteral("the VPN profile file is damaged");
    const QJsonObject profile = document.object();
    const QJsonValue ikev2 = profile.value(QStringLiteral("ikev2"));
    m_settings = ikev2.isObject() ? std::optional(fromJson(ikev2.toObject())) : std::nullopt;
    m_enabled = profile.value(QStringLiteral("enabled")).toBool();
    m_onDemandEnabled = profile.value(QStringLiteral("onDemandEnabled")).toBool();
    return {};
}

QString StrongSwanVpnService::writeProfile() const {
    QJsonObject profile{{QStringLiteral("description"), m_description},
                        {QStringLiteral("enabled"), m_enabled},
                        {QStringLiteral("onDemandEnabled"), m_onDemandEnabled}};
    if (m_settings)
        profile.insert(QStringLiteral("ikev2"), toJson(*m_settings));
    return writeOwnerOnly(m_config.profileFile, QJsonDocument(profile).toJson());
}

QString StrongSwanVpnService::writeSwanctlFiles() const {
    if (m_config.swanctlFolder.isEmpty())
        return QStringLiteral("there is no private folder for charon's configuration");
    SwanctlConfig config;
    config.connectionName = kName;
    config.serverAddress = m_settings->serverAddress;
    config.remoteIdentifier = m_settings->remoteIdentifier;
    config.username = m_settings->username;
    config.remoteTrafficSelector = m_config.remoteTrafficSelector;
    if (m_settings->passwordReference)
        config.password = m_items.resolvePersistentReference(*m_settings->passwordReference);
    QString error;
    const std::optional<QString> text = config.render(&error);
    if (!text)
        return QStringLiteral("the VPN profile cannot be used: ") + error;
    error =
        writeOwnerOnly(m_config.swanctlFolder + QStringLiteral("/swanctl.conf"), text->toUtf8());
    if (error.isEmpty())
        error = refreshTrustedCa(m_config.trustedCa,
                                 m_config.swanctlFolder + QStringLiteral("/x509ca"));
    return error;
}

// Results reach only a service that still exists: a runner may outlive it.
void StrongSwanVpnService::swanctl(QStringList arguments,
                                   std::function<void(const SwanctlRunner::Result&)> done) {
    arguments << QStringLiteral("--uri")
              << QStringLiteral("unix://") + socketPath(m_config.viciSocket);
    m_runner.run(arguments, [alive = QPointer<StrongSwanVpnService>(this),
                             done = std::move(done)](const SwanctlRunner::Result& result) {
        if (alive)
            done(result);
    });
}

void StrongSwanVpnService::runLoadAll(std::function<void(const SwanctlRunner::Result&)> done) {
    swanctl({QStringLiteral("--load-all"), QStringLiteral("--file"),
             m_config.swanctlFolder + QStringLiteral("/swanctl.conf")},
            std::move(done));
}

void StrongSwanVpnService::loadFromPreferences(
    std::function<void(const QString& error)> completion) {
    QMetaObject::invokeMethod(
        this,
        [this, completion = std::move(completion)] {
            const QString error = readProfile();
            if (!m_statusSynced && error.isEmpty() && viciReachable(m_config.viciSocket)) {
                // A tunnel may have outlived the previous run of the application.
                m_statusSynced = true;
                refreshStatus(m_operation);
            }
            if (completion)
                completion(error);
        },
        Qt::QueuedConnection);
}

void StrongSwanVpnService::saveToPreferences(std::function<void(const QString& error)> completion) {
    auto finish = [this, completion = std::move(completion)](const QString& error) {
        QMetaObject::invokeMethod(
            this, [completion, error] { completion(error); }, Qt::QueuedConnection);
    };
    QString error = writeProfile();
    if (error.isEmpty() && m_settings)
        error = writeSwanctlFiles();
    if (!error.isEmpty() || !m_settings || !viciReachable(m_config.viciSocket)) {
        finish(error);
        return;
    }
    runLoadAll([finish](const SwanctlRunner::Result& result) {
        finish(result.exitCode == 0
                   ? QString()
                   : QStringLiteral("charon did not take the connection (swanctl exit %1)")
                         .arg(result.exitCode));
    });
}

void StrongSwanVpnService::setProtocolConfiguration(const std::optional<IKEv2Settings>& settings) {
    m_settings = settings;
}

void StrongSwanVpnService::setLocalizedDescription(const QString& description) {
    m_description = description;
}

SystemVpnService::ErrorCode StrongSwanVpnService::startVPNTunnel() {
    if (!m_settings)
        return ErrorCode::ConfigurationInvalid;
    if (!m_enabled)
        return ErrorCode::ConfigurationDisabled;
    if (!viciReachable(m_config.viciSocket)) {
        qCWarning(lcStrongSwan) << "charon does not answer on" << m_config.viciSocket;
        return ErrorCode::Other;
    }
    // A start while the previous tunnel is still being stopped runs once the stop has
    // ended; dropping it would leave the new attempt waiting for nothing.
    if (m_stopPending) {
        m_startQueued = true;
        return ErrorCode::None;
    }
    if (m_status == VpnStatus::Connecting || m_status == VpnStatus::Connected)
        return ErrorCode::None;
    beginStart();
    return ErrorCode::None;
}

void StrongSwanVpnService::beginStart() {
    m_startInFlight = true;
    const quint64 operation = ++m_operation;
    QMetaObject::invokeMethod(
        this,
        [this, operation] {
            if (operation != m_operation)
                return;
            setStatus(VpnStatus::Connecting);
            // Loaded again in case charon restarted since the profile was saved.
            runLoadAll([this, operation](const SwanctlRunner::Result& loaded) {
                if (operation != m_operation)
                    return;
                if (loaded.exitCode != 0)
                    setStatus(VpnStatus::Disconnected);
                else
                    initiate(operation);
            });
        },
        Qt::QueuedConnection);
}

void StrongSwanVpnService::initiate(quint64 operation) {
    runThenRefresh("initiate", {QStringLiteral("--initiate"), QStringLiteral("--child"), kName},
                   operation);
}

void StrongSwanVpnService::runThenRefresh(const char* action, QStringList arguments,
                                          quint64 operation, std::function<void()> then) {
    QElapsedTimer clock;
    clock.start();
    arguments << QStringLiteral("--timeout") << QString::number(m_config.timeoutSeconds);
    swanctl(std::move(arguments),
            [this, action, operation, clock, then](const SwanctlRunner::Result& result) {
                qCInfo(lcStrongSwan) << action << "ended with" << result.exitCode << "after"
                                     << clock.elapsed() << "ms";
                if (operation == m_operation)
                    refreshStatus(operation, then);
            });
}

void StrongSwanVpnService::stopVPNTunnel() {
    m_startQueued = false;
    const bool idle = m_status == VpnStatus::Disconnected || m_status == VpnStatus::Invalid;
    if (idle && !m_startInFlight)
        return;
    m_startInFlight = false;
    m_stopPending = true;
    const quint64 operation = ++m_operation;
    QMetaObject::invokeMethod(
        this,
        [this, operation] {
            if (operation != m_operation)
                return;
            setStatus(VpnStatus::Disconnecting);
            runThenRefresh("terminate",
                           {QStringLiteral("--terminate"), QStringLiteral("--ike"), kName},
                           operation, [this] { stopEnded(); });
        },
        Qt::QueuedConnection);
}

void StrongSwanVpnService::stopEnded() {
    m_stopPending = false;
    if (std::exchange(m_startQueued, false))
        beginStart();
}

void StrongSwanVpnService::recheckStatus() {
    if (m_status == VpnStatus::Connected)
        refreshStatus(m_operation);
}

// Connected means an established IKE SA with an installed child SA of our connection.
void StrongSwanVpnService::refreshStatus(quint64 operation, std::function<void()> then) {
    swanctl({QStringLiteral("--list-sas"), QStringLiteral("--raw"), QStringLiteral("--ike"), kName},
            [this, operation, then](const SwanctlRunner::Result& result) {
                if (operation != m_operation)
                    return;
                const bool up = result.exitCode == 0 &&
                                result.output.contains("state=ESTABLISHED") &&
                                result.output.contains("state=INSTALLED");
                setStatus(up ? VpnStatus::Connected : VpnStatus::Disconnected);
                if (then)
                    then();
            });
}

void StrongSwanVpnService::setStatus(VpnStatus status) {
    if (status == VpnStatus::Connected || status == VpnStatus::Disconnected)
        m_startInFlight = false;
    if (status == VpnStatus::Connected)
        m_connectedCheck.start();
    else
        m_connectedCheck.stop();
    if (status == m_status)
        return;
    m_status = status;
    emit statusDidChange();
}
