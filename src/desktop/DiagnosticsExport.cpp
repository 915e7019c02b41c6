#include "desktop/DiagnosticsExport.h"

#include "core/AppInfo.h"
#include "core/AppState.h"
#include "desktop/Redactor.h"
#include "platform/LibZip.h"
#include "platform/Preferences.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/OpenVPNProfileReader.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {
constexpr int kCommandTimeoutMs = 5000;
const QByteArray kRemovedBody = "# removed from the diagnostics\n";

// The preferences the client and its desktop layer keep; the port has no listing.
const char* const kPreferenceKeys[] = {"isChecked",
                                       "email",
                                       "password",
                                       "notice_id",
                                       "ALERT_DONT_SHOW",
                                       "VERSION_CODE",
                                       "set_vpn_conf",
                                       "username",
                                       "userpassword",
                                       "vpn_selected_hostname",
                                       "vpn_selected_name",
                                       "vpn_selected_country",
                                       "vpn_selected_protocol",
                                       "vpn_selected_config",
                                       "vpn_recent_connected_server",
                                       "SERVER_KEY",
                                       "ACCOUNT_KEY",
                                       "PASSWORD_KEY",
                                       "ONDEMAND_KEY",
                                       "PSK_KEY",
                                       "desktop_notifications",
                                       "desktop_start_hidden",
                                       "favourite_servers",
                                       "recent_servers"};

// A stored OpenVPN profile keeps its directives, but each inline block (keys,
// certificates, credentials), found as OpenVPN finds them, keeps only a line saying
// its body was removed. Text that holds no block comes back as it was.
QString withoutInlineBodies(const QString& value) {
    OpenVPNProfileReader reader(value.toUtf8());
    QByteArray kept;
    while (!reader.atEnd()) {
        const QByteArray line = reader.nextLine().text;
        kept += line;
        const std::optional<QByteArrayList> words = OpenVPNProfileReader::words(line);
        const std::optional<QByteArray> block =
            words ? OpenVPNProfileReader::inlineBlockName(*words) : std::nullopt;
        if (!block)
            continue;
        if (!line.endsWith('\n'))
            kept += '\n';
        kept += kRemovedBody;
        // A block left open runs to the end of the text: all of it goes.
        if (reader.inlineBody(*block))
            kept += "</" + *block + ">\n";
    }
    return QString::fromUtf8(kept);
}
} // namespace

DiagnosticsExport::DiagnosticsExport(QStringList logFiles, const Preferences& preferences,
                                     RunCommand run)
    : m_logFiles(std::move(logFiles)), m_preferences(preferences), m_run(std::move(run)) {}

QStringList DiagnosticsExport::currentSecrets(const Preferences& preferences) {
    const AppState& state = appState();
    QStringList secrets{state.vpnPassword, state.csrfToken, state.sessionId};
    for (const QString& item : {kAccountPasswordItem, kAdminPasswordItem})
        secrets.append(KeychainWrapper::shared().readString(item).value_or(QString()));
    for (const char* key : kPreferenceKeys) {
        if (Redactor::isSecretKey(QLatin1String(key)))
            secrets.append(preferences.string(QLatin1String(key)).value_or(QString()));
    }
    secrets.removeAll(QString());
    return secrets;
}

QString DiagnosticsExport::runWithTimeout(const QStringList& command) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.value(0), command.mid(1));
    if (!process.waitForFinished(kCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(kCommandTimeoutMs);
        return {};
    }
    return QString::fromLocal8Bit(process.readAll());
}

QString DiagnosticsExport::versions() const {
    const auto firstLine = [this](const QStringList& command) {
        const QString output = m_run(command).trimmed();
        return output.isEmpty() ? QStringLiteral("(not available)")
                                : output.section(QLatin1Char('\n'), 0, 0);
    };
    return QStringLiteral("client: %1\nQt: %2\nsystem: %3 (%4)\nopenvpn: %5\nstrongSwan: %6\n")
        .arg(appShortVersion(), QString::fromLatin1(qVersion()), QSysInfo::prettyProductName(),
             QSysInfo::kernelVersion(),
             firstLine({QStringLiteral("openvpn"), QStringLiteral("--version")}),
             firstLine({QStringLiteral("swanctl"), QStringLiteral("--version")}));
}

QString DiagnosticsExport::network() const {
    QString text;
    const QList<QStringList> commands{
        {QStringLiteral("ip"), QStringLiteral("address")},
        {QStringLiteral("ip"), QStringLiteral("route"), QStringLiteral("show"),
         QStringLiteral("table"), QStringLiteral("all")},
        {QStringLiteral("ip"), QStringLiteral("-6"), QStringLiteral("route")}};
    for (const QStringList& command : commands)
        text += QStringLiteral("$ ") + command.join(QLatin1Char(' ')) + QLatin1Char('\n') +
                m_run(command) + QLatin1Char('\n');
    return text;
}

QString DiagnosticsExport::preferencesText() const {
    QString text;
    for (const char* name : kPreferenceKeys) {
        const QString key = QLatin1String(name);
        const std::optional<QString> value = m_preferences.string(key);
        if (!value)
            continue;
        text += key + QStringLiteral(" = ") +
                (Redactor::isSecretKey(key) && !value->isEmpty() ? QLatin1String(Redactor::kMark)
                                                                 : withoutInlineBodies(*value)) +
                QLatin1Char('\n');
    }
    return text;
}

QList<QPair<QString, QByteArray>> DiagnosticsExport::entries() const {
    const Redactor redactor(currentSecrets(m_preferences));
    const auto clean = [&redactor](const QString& text) { return redactor.redact(text).toUtf8(); };
    QList<QPair<QString, QByteArray>> entries;
    for (const QString& path : m_logFiles) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            entries.append({QStringLiteral("logs/") + QFileInfo(path).fileName(),
                            clean(QString::fromUtf8(file.readAll()))});
    }
    entries.append({QStringLiteral("versions.txt"), clean(versions())});
    entries.append({QStringLiteral("network.txt"), clean(network())});
    entries.append({QStringLiteral("preferences.txt"), clean(preferencesText())});
    return entries;
}

bool DiagnosticsExport::write(const QString& archivePath, QString* error) const {
    // libzip writes beside its target with the umask's mode: inside a folder of our own,
    // nobody else can open the archive while it is being written.
    const QFileInfo target(archivePath);
    QTemporaryDir staging(target.absolutePath() + QStringLiteral("/.diagnostics-XXXXXX"));
    if (!staging.isValid()) {
        *error = QStringLiteral("cannot write in ") + target.absolutePath();
        return false;
    }
    const QString partial = staging.filePath(target.fileName());
    if (!writeArchive(partial, error))
        return false;
    QFile::setPermissions(partial, QFile::ReadOwner | QFile::WriteOwner);
    if (std::rename(QFile::encodeName(partial).constData(),
                    QFile::encodeName(archivePath).constData()) != 0) {
        *error = QStringLiteral("cannot move the archive to ") + archivePath;
        return false;
    }
    return true;
}

bool DiagnosticsExport::writeArchive(const QString& path, QString* error) const {
    const LibZip* zip = LibZip::load();
    if (!zip) {
        *error = QStringLiteral("libzip cannot be loaded");
        return false;
    }
    int code = 0;
    ZipArchive archive(
        zip->zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code),
        ZipDiscard{zip});
    if (!archive) {
        *error = QStringLiteral("cannot create ") + path;
        return false;
    }
    // libzip reads the buffers only at close: they must live until then.
    const QList<QPair<QString, QByteArray>> contents = entries();
    for (const auto& [name, bytes] : contents) {
        zip_source_t* source = zip->zip_source_buffer(archive.get(), bytes.constData(),
                                                      static_cast<zip_uint64_t>(bytes.size()), 0);
        if (!source || zip->zip_file_add(archive.get(), name.toUtf8().constData(), source,
                                         ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip->zip_source_free(source);
            *error = QString::fromUtf8(zip->zip_strerror(archive.get()));
            return false;
        }
    }
    if (zip->zip_close(archive.get()) != 0) {
        *error = QString::fromUtf8(zip->zip_strerror(archive.get()));
        return false;
    }
    // zip_close freed it.
    static_cast<void>(archive.release());
    return true;
}
