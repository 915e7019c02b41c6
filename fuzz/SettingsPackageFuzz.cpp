// The settings package unpacker on any archive: it unpacks or refuses, and nothing it
// leaves in the folder is a link.
#include "startup/SettingsPackage.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir& workFolder() {
    static QTemporaryDir folder;
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString archive = workFolder().filePath(QStringLiteral("settings.zip"));
    const QString target = workFolder().filePath(QStringLiteral("OrvelVPN"));
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    UnpackLimits limits;
    limits.maxBytes = 1 << 20;
    limits.maxEntries = 64;
    QString error;
    (void)unpackSettingsArchive(archive, target, limits, &error);
    QDirIterator it(target, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().isSymLink()) {
            std::fprintf(stderr, "unpacked a link: %s\n", qPrintable(it.filePath()));
            std::abort();
        }
    }
    return 0;
}
