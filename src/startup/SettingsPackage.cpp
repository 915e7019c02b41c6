#include "startup/SettingsPackage.h"

#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/Diagnostics.h"
#include "core/Services.h"
#include "platform/LibZip.h"
#include "platform/Preferences.h"
#include "platform/ScriptRunner.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/OpenVPNSession.h"
#include "tunnel/PackagePin.h"
#include "tunnel/PrivilegedScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcPackage, "orvel.package")

namespace {

const QString kTemplateName = QStringLiteral("orvel_admin_check.txt");
const QString kArchiveName = QStringLiteral("settings.zip");

struct ArchiveEntry {
    zip_uint64_t index = 0;
    QString path; // relative, clean
    bool directory = false;
    bool executable = false;
    zip_uint64_t size = 0;
};

// The entry's path below the folder, or nothing when it would leave the folder.
std::optional<QString> relativeEntryPath(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QChar(0)))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return std::nullopt;
        if (part != QLatin1String("."))
            parts << part;
    }
    if (parts.isEmpty())
        return std::nullopt;
    return parts.join(QLatin1Char('/'));
}

bool readEntries(const LibZip& zip, zip_t* archive, const UnpackLimits& limits,
                 QList<ArchiveEntry>* entries, QString* error) {
    const zip_int64_t count = zip.zip_get_num_entries(archive, 0);
    if (count < 0 || count > limits.maxEntries) {
        *error = QStringLiteral("the archive has %1 entries, more than %2")
                     .arg(count)
                     .arg(limits.maxEntries);
        return false;
    }
    qint64 total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        if (zip.zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME) ||
            !(stat.valid & ZIP_STAT_SIZE)) {
            *error = QString::fromUtf8(zip.zip_strerror(archive));
            return false;
        }
        const QString name = QString::fromUtf8(stat.name);
        const std::optional<QString> path = relativeEntryPath(name);
        if (!path) {
            *error = QStringLiteral("the entry \"%1\" would land outside the folder").arg(name);
            return false;
        }
        ArchiveEntry entry{index, *path, name.endsWith(QLatin1Char('/')), false, stat.size};
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip.zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX && (attributes >> 16) != 0) {
            const mode_t mode = attributes >> 16;
            // Many writers (Python's zipfile among them) store permission bits only; no
            // type bits means a plain entry, a folder when its name says so.
            const mode_t type = mode & S_IFMT;
            if (type == S_IFDIR) {
                entry.directory = true;
            } else if (type != 0 && type != S_IFREG) {
                *error = QStringLiteral("the entry \"%1\" is not a file or folder").arg(name);
                return false;
            }
            entry.executable = (mode & 0111) != 0;
        }
        total += static_cast<qint64>(stat.size);
        if (stat.size > static_cast<zip_uint64_t>(limits.maxBytes) || total > limits.maxBytes) {
            *error =
                QStringLiteral("the archive unpacks to more than %1 bytes").arg(limits.maxBytes);
            return false;
        }
        entries->append(entry);
    }
    return true;
}

bool extractFile(const LibZip& zip, zip_t* archive, const ArchiveEntry& entry,
                 const QString& target, QString* error) {
    zip_file_t* source = zip.zip_fopen_index(archive, entry.index, 0);
    QFile file(target);
    if (!source || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = source ? file.errorString() : QString::fromUtf8(zip.zip_strerror(archive));
        if (source)
            zip.zip_fclose(source);
        return false;
    }
    char buffer[64 * 1024];
    zip_uint64_t written = 0;
    zip_int64_t read = 0;
    // libzip checks the CRC when the last byte has been read.
    while ((read = zip.zip_fread(source, buffer, sizeof buffer)) > 0) {
        written += static_cast<zip_uint64_t>(read);
        if (written > entry.size || file.write(buffer, read) != read) {
            *error = QStringLiteral("cannot write \"%1\"").arg(entry.path);
            zip.zip_fclose(source);
            return false;
        }
    }
    if (read < 0) {
        *error = QString::fromUtf8(zip.zip_file_strerror(source));
        zip.zip_fclose(source);
        return false;
    }
    if (zip.zip_fclose(source) != 0 || written != entry.size) {
        *error = QStringLiteral("the entry \"%1\" is damaged").arg(entry.path);
        return false;
    }
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (entry.executable)
        permissions |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    return file.setPermissions(permissions);
}

bool replaceEntry(const QString& from, const QString& to) {
    const QFileInfo existing(to);
    if (existing.isSymLink() || existing.isFile()) {
        if (!QFile::remove(to))
            return false;
    } else if (existing.isDir() && !QDir(to).removeRecursively()) {
        return false;
    }
    return QDir().rename(from, to);
}

bool moveIntoPlace(const QString& unpacked, const QString& folder, QString* error) {
    const QStringList names = QDir(unpacked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!replaceEntry(unpacked + QLatin1Char('/') + name, QDir(folder).filePath(name))) {
            *error = QStringLiteral("cannot move \"%1\" into place").arg(name);
            return false;
        }
    }
    return true;
}

ScriptRunner* scriptRunner() {
    ScriptRunner* runner = services().scriptRunner;
    if (!runner)
        qCWarning(lcPackage) << "no script runner is wired; nothing runs";
    return runner;
}

// The marker test needs the resource as a real file that root can copy.
QString materializedTemplate() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QString path = QDir(folder).filePath(kTemplateName);
    QFile resource(QStringLiteral(":/") + kTemplateName);
    if (!resource.open(QIODevice::ReadOnly)) {
        qCCritical(lcPackage) << "the resource" << kTemplateName << "is missing";
        return path;
    }
    const QByteArray content = resource.readAll();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return path;
    QSaveFile file(path);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || file.write(content) < 0 ||
        !file.commit())
        qCWarning(lcPackage) << "cannot write" << path << file.errorString();
    return path;
}

// The status of the answer when one came; an answer is handled like the package, whatever
// its status. Qt keeps the status of a 401 or 407 to itself and reports only the error.
std::optional<int> answeredStatus(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return status.toInt();
    switch (reply.error()) {
    case QNetworkReply::AuthenticationRequiredError:
        return 401;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return 407;
    default:
        return std::nullopt;
    }
}

} // namespace

bool unpackSettingsArchive(const QString& archivePath, const QString& folder,
                           const UnpackLimits& limits, QString* error) {
    const LibZip* zip = LibZip::load();
    if (!zip) {
        *error = QStringLiteral("libzip cannot be loaded");
        return false;
    }
    int openError = 0;
    ZipArchive archive(zip->zip_open(QFile::encodeName(archivePath).constData(),
                                     ZIP_RDONLY | ZIP_CHECKCONS, &openError),
                       ZipDiscard{zip});
    if (!archive) {
        zip_error_t zipError;
        zip->zip_error_init_with_code(&zipError, openError);
        *error = QString::fromUtf8(zip->zip_error_strerror(&zipError));
        zip->zip_error_fini(&zipError);
        return false;
    }
    QList<ArchiveEntry> entries;
    if (!readEntries(*zip, archive.get(), limits, &entries, error))
        return false;
    // Unpacked aside in the same folder, so a refusal half-way leaves nothing behind and
    // the final moves are renames.
    QTemporaryDir unpacked(QDir(folder).filePath(QStringLiteral(".unpack-XXXXXX")));
    if (!unpacked.isValid()) {
        *error = unpacked.errorString();
        return false;
    }
    for (const ArchiveEntry& entry : entries) {
        const QString target = unpacked.filePath(entry.path);
        const QString parent = entry.directory ? target : QFileInfo(target).path();
        if (!QDir().mkpath(parent)) {
            *error = QStringLiteral("cannot create \"%1\"").arg(entry.path);
            return false;
        }
        if (!entry.directory && !extractFile(*zip, archive.get(), entry, target, error))
            return false;
    }
    // The program the tunnel may run: a folder or anything else by that name is a
    // broken package.
    const QFileInfo program(unpacked.filePath(QStringLiteral("openvpn")));
    if (program.exists() && (program.isSymLink() || !program.isFile())) {
        *error = QStringLiteral("the package's openvpn is not a regular file");
        return false;
    }
    return moveIntoPlace(unpacked.path(), folder, error);
}

SettingsPackageInstaller::SettingsPackageInstaller(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {}

void SettingsPackageInstaller::verifyStoredAdmin() {
    AppState& state = appState();
    state.credentialTemplatePath = materializedTemplate();
    state.vpnHomeDir = workingFolder();
    Preferences* preferences = services().preferences;
    const std::optional<QString> user =
        preferences ? preferences->string(QStringLiteral("username")) : std::nullopt;
    const std::optional<QString> password =
        KeychainWrapper::shared().readString(kAdminPasswordItem);
    if (!user || !password)
        return;
    ScriptRunner* runner = scriptRunner();
    if (!runner || !AdminCredentials(*runner, m_options.adminMarkerPath).check(*user, *password))
        return;
    state.isAdminAuthorized = true;
    state.adminUserName = *user;
    logLine(QStringLiteral("User Status: Admin"));
}

void SettingsPackageInstaller::removeLegacyFolder() {
    const QString legacy = homeDirectory() + QStringLiteral("/OrvelPlusVPN/");
    if (!QFileInfo(legacy).isDir())
        return;
    if (ScriptRunner* runner = scriptRunner())
        runner->runAppleScript(makeShellScript(QStringLiteral("rm -rf ") + shellQuoted(legacy)));
}

bool SettingsPackageInstaller::isOpenVPNInstalled() const {
    // The folder is known before the start-up names it vpnHomeDir.
    const QFileInfo program(workingFolder() + QStringLiteral("openvpn"));
    return program.isFile() && !program.isSymLink();
}

void SettingsPackageInstaller::downloadSettingsPackage(
    std::function<void()> continueWithNetworkCheck) {
    const QString home = appState().vpnHomeDir;
    if (!QFileInfo(home).isDir()) {
        // Owner-only: the statements that run as root are written there.
        if (ScriptRunner* runner = scriptRunner())
            runner->runAppleScript(
                makeShellScript(QStringLiteral("mkdir -p -m 700 ") + shellQuoted(home)));
    }
    auto* body = new QTemporaryFile(this);
    if (!body->open()) {
        logLine(QStringLiteral("Error took place while downloading a file. Error description: ") +
                body->errorString());
        delete body;
        emit downloadFailed();
        return;
    }
    QNetworkRequest request{QUrl(m_options.packageUrl)};
    request.setTransferTimeout(m_options.timeoutMs);
    QNetworkReply* reply = m_network.get(request);
    const qint64 maxDownload = m_options.maxDownloadBytes;
    connect(reply, &QNetworkReply::readyRead, body, [reply, body, maxDownload] {
        if (body->write(reply->readAll()) < 0 || body->size() > maxDownload) {
            body->setProperty("refused", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, body, continueWithNetworkCheck = std::move(continueWithNetworkCheck)] {
                downloadFinished(reply, body, continueWithNetworkCheck);
            });
}

void SettingsPackageInstaller::downloadFinished(QNetworkReply* reply, QTemporaryFile* body,
                                                std::function<void()> continueWithNetworkCheck) {
    reply->deleteLater();
    body->deleteLater();
    const bool refused = body->property("refused").toBool();
    const std::optional<int> status = refused ? std::nullopt : answeredStatus(*reply);
    if (!status) {
        const QString description =
            refused ? QStringLiteral("the package is larger than allowed") : reply->errorString();
        logLine(QStringLiteral("Error took place while downloading a file. Error description: ") +
                description);
        emit downloadFailed();
        return;
    }
    body->write(reply->readAll());
    body->flush();
    logLine(QStringLiteral("Executable setting file downloaded. Status code: ") +
            QString::number(*status));

    const QString home = appState().vpnHomeDir;
    const QString destination = home + kArchiveName;
    QString error;
    if (!QFile::copy(body->fileName(), destination)) {
        logLine(QStringLiteral("Error creating a file ") + destination + QStringLiteral(" : ") +
                QStringLiteral("a file of that name is already there or cannot be written"));
    } else if (!m_options.packageSha256.isEmpty() &&
               !PackagePin::fileHasSha256(destination, m_options.packageSha256)) {
        logLine(QStringLiteral("Error creating a file ") + destination + QStringLiteral(" : ") +
                QStringLiteral("the package does not have the expected SHA-256"));
        QFile::remove(destination);
    } else if (!unpackSettingsArchive(destination, home, m_options.limits, &error)) {
        logLine(QStringLiteral("Error creating a file ") + destination + QStringLiteral(" : ") +
                error);
        // A refused package would otherwise block every later download: the copy
        // fails while a file of that name is there.
        QFile::remove(destination);
    }
    installSettingsPackage(std::move(continueWithNetworkCheck));
}

void SettingsPackageInstaller::installSettingsPackage(
    std::function<void()> continueWithNetworkCheck) {
    if (appState().isAdminAuthorized)
        copyPackageFolders();
    if (Preferences* preferences = services().preferences)
        preferences->setValue(QStringLiteral("set_vpn_conf"), 1);
    if (continueWithNetworkCheck)
        continueWithNetworkCheck();
}
