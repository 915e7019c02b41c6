#pragma once

#include "NetworkIsolation.h"
#include "platform/AdminAuthenticator.h"
#include "support/TestEnvironment.h"
#include "platform/PasswordItems.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <unistd.h>

// What the real-tunnel suites share: root, a network namespace of their own, an
// administrator the privileged runner accepts and the interpreter binary of the build.

namespace e2e {

inline const QString kAdminUser = QStringLiteral("orveladmin");
inline const QString kAdminPassword = QStringLiteral("Adm1n-Pass!");

// Exit status, -1 when it did not start or crashed.
inline int run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
               int timeoutMs = 30000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs) ||
        process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitCode();
}

// The administrator of the shared recipe, made when missing. Empty when usable,
// otherwise why not.
inline QString ensureAdministrator() {
    if (!AdminAuthenticator::isAdministrator(kAdminUser)) {
        if (run(QStringLiteral("useradd"), {QStringLiteral("-m"), QStringLiteral("-G"),
                                            QStringLiteral("sudo"), kAdminUser}) != 0)
            return QStringLiteral("cannot create the administrator ") + kAdminUser;
        QProcess chpasswd;
        chpasswd.start(QStringLiteral("chpasswd"));
        chpasswd.write((kAdminUser + QLatin1Char(':') + kAdminPassword).toUtf8());
        chpasswd.closeWriteChannel();
        chpasswd.waitForFinished();
    }
    if (!AdminAuthenticator::checkPassword(kAdminUser, kAdminPassword))
        return kAdminUser + QStringLiteral(" exists with another password");
    return {};
}

// The administrator password kept where the client keeps it, in `store`; with the file
// store of this home, orvel-osascript finds it there too.
inline void keepAdminPassword(ItemStore& store, const QString& password) {
    KeychainWrapper(store, QString::fromLatin1(KeychainWrapper::kDefaultServiceName))
        .writeString(password, kAdminPasswordItem);
}

inline PasswordItems passwordItemsOf(const ItemStore& store) {
    return PasswordItems(store, QString::fromLatin1(KeychainWrapper::kDefaultServiceName));
}

inline QString osascriptPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/orvel-osascript");
}

// The root-owned launcher of this build, where an installed one sits beside orvelvpn.
inline QString launcherPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/orvel-openvpn");
}

// Collects an OpenVPN client's output into `output` until it is connected (true) or has
// ended or the time is up.
inline bool waitForInitialization(QProcess& client, QByteArray& output, int timeoutMs = 20000) {
    const QByteArray done = "Initialization Sequence Completed";
    return waitUntil(
               [&] {
                   output += client.readAll();
                   return output.contains(done) || client.state() == QProcess::NotRunning;
               },
               timeoutMs) &&
           output.contains(done);
}

// Empty when the machine can run the real suites, otherwise why not.
inline QString missingPrerequisite() {
    if (::geteuid() != 0)
        return QStringLiteral("needs root");
    if (QString problem = networkIsolationProblem(); !problem.isEmpty())
        return problem;
    if (!QFileInfo(osascriptPath()).isExecutable())
        return QStringLiteral("orvel-osascript is not built at ") + osascriptPath();
    return ensureAdministrator();
}

} // namespace e2e
