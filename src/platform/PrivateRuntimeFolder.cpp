#include "platform/PrivateRuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString privateRuntimeFolder() {
    // Qt checks that the runtime dir is the user's own and 0700, or makes a private one.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    const QString folder = runtime + QStringLiteral("/orvelvpn");
    const bool made =
        QDir().mkpath(folder) &&
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    return made ? folder : QString();
}
