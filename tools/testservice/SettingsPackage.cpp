#include "SettingsPackage.h"

#include <sys/stat.h>
#include <zip.h>

namespace {

bool addFile(zip_t* archive, const char* name, const QByteArray& data, mode_t mode) {
    // libzip reads the buffer only at zip_close; the caller keeps it alive until then.
    zip_source_t* source = zip_source_buffer(archive, data.constData(), data.size(), 0);
    if (!source)
        return false;
    const zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    return zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                            static_cast<zip_uint32_t>(S_IFREG | mode) << 16) == 0;
}

bool addDirectory(zip_t* archive, const char* name) {
    const zip_int64_t index = zip_dir_add(archive, name, 0);
    return index >= 0 &&
           zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                            static_cast<zip_uint32_t>(S_IFDIR | 0755) << 16) == 0;
}

QByteArray readAll(zip_source_t* source) {
    zip_stat_t stat;
    if (zip_source_open(source) < 0)
        return {};
    QByteArray data;
    if (zip_source_stat(source, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) {
        data.resize(static_cast<qsizetype>(stat.size));
        if (zip_source_read(source, data.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
            data.clear();
    }
    zip_source_close(source);
    return data;
}

} // namespace

QByteArray SettingsPackage::launcherScript() {
    return QByteArrayLiteral(
        "#!/bin/sh\n"
        "# Runs the system's OpenVPN 2.6 on the first free utunN (N = 0..10): the client\n"
        "# detects its tunnel by that name. Options after --config override the file's\n"
        "# own \"dev\" lines.\n"
        "if [ -z \"$1\" ]; then\n"
        "    echo \"usage: $0 CONFIG\" >&2\n"
        "    exit 2\n"
        "fi\n"
        "n=0\n"
        "while [ \"$n\" -le 10 ] && [ -e \"/sys/class/net/utun$n\" ]; do\n"
        "    n=$((n + 1))\n"
        "done\n"
        "if [ \"$n\" -gt 10 ]; then\n"
        "    echo \"openvpn launcher: utun0 to utun10 are all taken\" >&2\n"
        "    exit 1\n"
        "fi\n"
        "exec \"${ORVEL_OPENVPN_BIN:-/usr/sbin/openvpn}\" --config \"$1\" --dev \"utun$n\" "
        "--dev-type tun\n");
}

QByteArray SettingsPackage::build(QString* error) {
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &zipError);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &zipError) : nullptr;
    if (!archive) {
        if (error)
            *error = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        if (buffer)
            zip_source_free(buffer);
        return {};
    }
    zip_error_fini(&zipError);
    // Kept past zip_close, which would otherwise free the buffer holding the result.
    zip_source_keep(buffer);

    const QByteArray launcher = launcherScript();
    const QByteArray cellarReadme = QByteArrayLiteral(
        "Support files of the OrvelVPN OpenVPN package, copied to /usr/local/Cellar.\n");
    const QByteArray optReadme = QByteArrayLiteral(
        "Support files of the OrvelVPN OpenVPN package, copied to /usr/local/opt.\n");
    const bool added = addFile(archive, "openvpn", launcher, 0755) &&
                       addDirectory(archive, "Cellar/") && addDirectory(archive, "Cellar/orvel/") &&
                       addFile(archive, "Cellar/orvel/README", cellarReadme, 0644) &&
                       addDirectory(archive, "opt/") && addDirectory(archive, "opt/orvel/") &&
                       addFile(archive, "opt/orvel/README", optReadme, 0644);
    if (!added || zip_close(archive) < 0) {
        if (error)
            *error = QString::fromUtf8(zip_strerror(archive));
        zip_discard(archive);
        zip_source_free(buffer);
        return {};
    }
    const QByteArray data = readAll(buffer);
    zip_source_free(buffer);
    if (data.isEmpty() && error)
        *error = QStringLiteral("the archive could not be read back");
    return data;
}
