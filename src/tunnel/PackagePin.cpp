#include "tunnel/PackagePin.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#ifndef ORVEL_PACKAGE_SHA256
#define ORVEL_PACKAGE_SHA256 ""
#endif

namespace {
QString& launchOption() {
    static QString value;
    return value;
}

QString normalized(const QString& hex) {
    return hex.trimmed().toLower();
}
} // namespace

void PackagePin::setLaunchOption(const QString& sha256Hex) {
    launchOption() = normalized(sha256Hex);
}

QString PackagePin::pinnedSha256() {
    if (!launchOption().isEmpty())
        return launchOption();
    return normalized(QStringLiteral(ORVEL_PACKAGE_SHA256));
}

bool PackagePin::fileHasSha256(const QString& path, const QString& sha256Hex) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) &&
           hash.result().toHex() == normalized(sha256Hex).toLatin1();
}

bool PackagePin::packageMatchesPin(const QString& vpnHome, QString* reason) {
    auto refuse = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QString pin = pinnedSha256();
    if (pin.isEmpty())
        return refuse(QStringLiteral("no SHA-256 is pinned for the settings package"));
    const QFileInfo program(vpnHome + QStringLiteral("openvpn"));
    if (program.isSymLink() || !program.isFile())
        return refuse(QStringLiteral("the package's openvpn is not a regular file"));
    if (!fileHasSha256(vpnHome + QStringLiteral("settings.zip"), pin))
        return refuse(QStringLiteral("the settings package does not match the pinned SHA-256"));
    return true;
}
