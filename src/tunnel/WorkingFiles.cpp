#include "tunnel/WorkingFiles.h"

#include "core/AppState.h"
#include "core/Diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QUrl>

Q_LOGGING_CATEGORY(lcWorkingFiles, "orvel.files")

void reportWriteFailure(const QString& path, const QString& error) {
    logLine(QStringLiteral("Failed writing to URL: ") + QUrl::fromLocalFile(path).toString() +
            QStringLiteral(", Error: ") + error);
}

void writePrivateFile(const QString& path, const QByteArray& content) {
    logLine(QStringLiteral("FilePath: ") + path);
    QSaveFile file(path);
    // The file holds secrets: owner-only before any byte is written, also when it
    // replaces a file that was readable by others.
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(content) == content.size() && file.commit();
    if (!written)
        reportWriteFailure(path, file.errorString());
}

void writeWorkingFile(const QString& fileName, const QByteArray& content) {
    const QString home = appState().vpnHomeDir;
    if (home.isEmpty()) {
        logLine(QStringLiteral("FilePath: ") + fileName);
        reportWriteFailure(fileName, QStringLiteral("the working folder is not known yet"));
        return;
    }
    writePrivateFile(home + fileName, content);
}

bool makeWorkingFolder(const QString& home) {
    const QFileInfo folder(QDir::cleanPath(home));
    if (folder.isDir())
        return true;
    return QDir().mkpath(folder.path()) &&
           QDir().mkdir(folder.filePath(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString TeardownMarker::pathIn(const QString& vpnHome) {
    return vpnHome + QLatin1String(kName);
}

void TeardownMarker::markPending() {
    const QString home = appState().vpnHomeDir;
    if (home.isEmpty() || QFile::exists(pathIn(home)))
        return;
    makeWorkingFolder(home);
    QFile marker(pathIn(home));
    if (!marker.open(QIODevice::WriteOnly))
        qCWarning(lcWorkingFiles) << "cannot write" << marker.fileName() << marker.errorString();
}

void TeardownMarker::clear() {
    const QString home = appState().vpnHomeDir;
    if (!home.isEmpty())
        QFile::remove(pathIn(home));
}
