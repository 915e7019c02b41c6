#include "core/AppInfo.h"

#include <QDir>

QString appShortVersion() {
    return QStringLiteral(ORVEL_VERSION);
}

QString appBundleName() {
    return QStringLiteral("OrvelVPN");
}

QString homeDirectory() {
    return QDir::homePath();
}

QString workingFolder() {
    return homeDirectory() + QStringLiteral("/OrvelVPN/");
}
