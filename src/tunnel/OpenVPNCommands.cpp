#include "tunnel/OpenVPNCommands.h"

#include "LauncherRules.h"
#include "tunnel/PackagePin.h"
#include "tunnel/PrivilegedScript.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcOpenVpnCommands, "orvel.openvpn")

namespace {
const QString kConfigFile = QStringLiteral("default.ovpn");
} // namespace

bool OpenVPNCommands::isRootOwned(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == 0 && (info.st_mode & 022) == 0 && (info.st_mode & 0100) != 0;
}

QString OpenVPNCommands::launcherPath() {
    const QString name = QString::fromLatin1(kLauncherName);
    const QString here = QCoreApplication::applicationDirPath();
    const QStringList candidates = {here + QLatin1Char('/') + name,
                                    here + QStringLiteral("/../lib/orvelvpn/") + name,
                                    QStringLiteral(ORVEL_INSTALL_LIBEXEC) + QLatin1Char('/') + name,
                                    QStandardPaths::findExecutable(name)};
    for (const QString& candidate : candidates) {
        if (!candidate.isEmpty() && isRootOwned(candidate))
            return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

QString OpenVPNCommands::launchCommand(const QString& vpnHome) {
    const QString config = vpnHome + kConfigFile;
    QString notPinned;
    if (PackagePin::packageMatchesPin(vpnHome, &notPinned)) {
        // The package's program cannot record itself: the shell that becomes it writes
        // the launcher's record (pid, start time, arguments) in the launcher's place.
        const QString pidFile =
            QString::fromStdString(launcher::pidFilePath(QFile::encodeName(config).toStdString()));
        return QStringLiteral("sudo /bin/sh -c ") +
               shellQuoted(QStringLiteral("umask 077 && mkdir -p ") +
                           QString::fromLatin1(launcher::kStateFolder) +
                           QStringLiteral(" && { echo $$; cut -d\" \" -f22 /proc/$$/stat; "
                                          "printf \"%s\\0\" \"$1\" \"$2\"; } > \"$0\" && "
                                          "exec \"$1\" \"$2\"")) +
               QLatin1Char(' ') + shellQuoted(pidFile) + QLatin1Char(' ') +
               shellQuoted(vpnHome + QStringLiteral("openvpn")) + QLatin1Char(' ') +
               shellQuoted(config);
    }
    const QString launcher = launcherPath();
    if (launcher.isEmpty()) {
        qCWarning(lcOpenVpnCommands) << "OpenVPN not started:" << notPinned << "and no root-owned"
                                     << kLauncherName << "is installed";
        return {};
    }
    qCInfo(lcOpenVpnCommands) << "OpenVPN runs through" << launcher << "-" << notPinned;
    return QStringLiteral("sudo ") + shellQuoted(launcher) + QLatin1Char(' ') + shellQuoted(config);
}

QString OpenVPNCommands::stopCommand(const QString& vpnHome) {
    const QString launcher = launcherPath();
    if (launcher.isEmpty()) {
        qCWarning(lcOpenVpnCommands)
            << "no root-owned" << kLauncherName << "is installed; OpenVPN cannot be stopped";
        return {};
    }
    return QStringLiteral("sudo ") + shellQuoted(launcher) + QStringLiteral(" --stop ") +
           shellQuoted(vpnHome + kConfigFile);
}
