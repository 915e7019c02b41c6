#include "support/PrivateKeyring.h"

#include "platform/SecretServiceItemStore.h"

#include <QStandardPaths>
#include <QTest>
#include <csignal>

namespace {

// Prints the bus address, the daemon's pid and its own, then holds the session open.
const char* const kSession =
    "echo \"$DBUS_SESSION_BUS_ADDRESS\"; "
    "printf %s test-unlock | gnome-keyring-daemon --foreground --unlock --components=secrets "
    ">/dev/null 2>&1 & echo $!; echo $$; exec sleep 3600";

} // namespace

PrivateKeyring::PrivateKeyring() {
    for (const char* tool : {"dbus-run-session", "gnome-keyring-daemon", "secret-tool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            m_unavailable = QString::fromLatin1(tool) + QStringLiteral(" is not installed");
            return;
        }
    }
    m_session.setProcessChannelMode(QProcess::SeparateChannels);
    m_session.start(QStringLiteral("dbus-run-session"),
                    {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QString::fromLatin1(kSession)});
    QStringList lines;
    while (lines.size() < 3 && m_session.waitForReadyRead(10000)) {
        while (m_session.canReadLine())
            lines << QString::fromUtf8(m_session.readLine()).trimmed();
    }
    if (lines.size() < 3 || lines[0].isEmpty()) {
        m_unavailable = QStringLiteral("dbus-run-session gave no bus");
        return;
    }
    m_keyringPid = lines[1].toLongLong();
    m_holderPid = lines[2].toLongLong();
    qputenv("DBUS_SESSION_BUS_ADDRESS", lines[0].toUtf8());
    if (!QTest::qWaitFor([] { return SecretServiceItemStore::answers(); }, 10000))
        m_unavailable = QStringLiteral("gnome-keyring-daemon did not take the Secret Service");
}

PrivateKeyring::~PrivateKeyring() {
    if (m_keyringPid > 0)
        ::kill(static_cast<pid_t>(m_keyringPid), SIGTERM);
    // The session ends its bus when the process it holds ends.
    if (m_holderPid > 0)
        ::kill(static_cast<pid_t>(m_holderPid), SIGTERM);
    if (m_session.state() != QProcess::NotRunning && !m_session.waitForFinished(5000))
        m_session.kill();
    m_session.waitForFinished(1000);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

QByteArray PrivateKeyring::lookup(const QStringList& attributes) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("lookup")} + attributes);
    tool.waitForFinished(10000);
    return tool.readAllStandardOutput();
}
