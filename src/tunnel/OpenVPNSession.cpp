#include "tunnel/OpenVPNSession.h"

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/PackagePin.h"
#include "app/Services.h"
#include "platform/Preferences.h"
#include "platform/ScriptRunner.h"
#include "servers/ServerData.h"
#include "tunnel/Leftovers.h"
#include "tunnel/OpenVPNCommands.h"
#include "tunnel/PrivilegedScript.h"

#include <QLoggingCategory>
#include <QSaveFile>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <condition_variable>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcOpenVpn, "orvel.openvpn")

namespace {

const QString kAuthFile = QStringLiteral("auth.txt");
const QString kConfigFile = QStringLiteral("default.ovpn");
const QString kStopScriptFile = QStringLiteral("disconnect.scpt");

void reportWriteFailure(const QString& path, const QString& error) {
    logLine(QStringLiteral("Failed writing to URL: ") + QUrl::fromLocalFile(path).toString() +
            QStringLiteral(", Error: ") + error);
}

// Directives that make OpenVPN, running as root, start programs or load code. A
// configuration from the service never needs them.
const QSet<QString>& unsafeDirectives() {
    static const QSet<QString> names = {
        QStringLiteral("script-security"),
        QStringLiteral("up"),
        QStringLiteral("down"),
        QStringLiteral("route-up"),
        QStringLiteral("route-pre-down"),
        QStringLiteral("ipchange"),
        QStringLiteral("learn-address"),
        QStringLiteral("plugin"),
        QStringLiteral("tls-verify"),
        QStringLiteral("auth-user-pass-verify"),
        QStringLiteral("client-connect"),
        QStringLiteral("client-disconnect"),
        QStringLiteral("config"),
        QStringLiteral("iproute"),
        QStringLiteral("dns-script"),
    };
    return names;
}

// The words OpenVPN's own parser would see at the start of a line: quotes and
// backslashes do not hide a name from it, so they do not hide it from us either.
QStringList leadingWords(const QString& line, int count) {
    QStringList words;
    QString word;
    bool quoted = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (c == QLatin1Char('\\'))
            continue;
        if (c.isSpace() && !quoted) {
            if (!word.isEmpty())
                words << word;
            word.clear();
            if (words.size() == count)
                return words;
            continue;
        }
        word += c;
    }
    if (!word.isEmpty() && words.size() < count)
        words << word;
    return words;
}

// The option a line sets, "" for blank and comment lines. "setenv opt NAME ..." makes
// OpenVPN run NAME as an option too.
QString directiveOf(const QString& line) {
    const QStringList words = leadingWords(line, 3);
    if (words.isEmpty() || words[0].startsWith(QLatin1Char('#')) ||
        words[0].startsWith(QLatin1Char(';')))
        return {};
    QString name = words[0];
    if (name.startsWith(QLatin1String("--")))
        name = name.mid(2);
    if (name == QLatin1String("setenv") && words.size() == 3 && words[1] == QLatin1String("opt"))
        name = words[2];
    return name.toLower();
}

QString inlineBlockName(const QString& line, bool closing) {
    const QString trimmed = line.trimmed();
    const QString open = closing ? QStringLiteral("</") : QStringLiteral("<");
    if (!trimmed.startsWith(open) || !trimmed.endsWith(QLatin1Char('>')))
        return {};
    return trimmed.mid(open.size(), trimmed.size() - open.size() - 1).toLower();
}

// Drops the unsafe directives, and their <name>...</name> blocks; lines are what
// OpenVPN reads, split at line feeds, whatever the service's own line ends were.
QString withoutUnsafeDirectives(const QString& config) {
    QStringList kept;
    QString skippingBlock;
    for (const QString& line : config.split(QLatin1Char('\n'))) {
        if (!skippingBlock.isEmpty()) {
            if (inlineBlockName(line, true) == skippingBlock)
                skippingBlock.clear();
            continue;
        }
        const QString block = inlineBlockName(line, false);
        if (unsafeDirectives().contains(block)) {
            qCWarning(lcOpenVpn) << "dropped the inline block" << block
                                 << "from the service's configuration";
            skippingBlock = block;
            continue;
        }
        const QString directive = directiveOf(line);
        if (unsafeDirectives().contains(directive)) {
            qCWarning(lcOpenVpn) << "dropped the directive" << directive
                                 << "from the service's configuration";
            continue;
        }
        kept << line;
    }
    return kept.join(QLatin1Char('\n'));
}

QString rewrittenConfig(const QString& config, const QString& authPath) {
    QString output;
    for (QString line : config.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        if (line.contains(QLatin1String("auth-user-pass")))
            line = QStringLiteral("auth-user-pass ") + authPath;
        if (line.contains(QLatin1String("register-dns")) ||
            line.contains(QLatin1String("block-outside-dns")))
            continue;
        output += line + QLatin1Char('\n');
    }
    return withoutUnsafeDirectives(output);
}

ScriptRunner* scriptRunner() {
    ScriptRunner* runner = services().scriptRunner;
    if (!runner)
        qCWarning(lcOpenVpn) << "no script runner is wired; nothing runs";
    return runner;
}

} // namespace

void writeWorkingFile(const QString& fileName, const QByteArray& content) {
    const QString home = appState().vpnHomeDir;
    const QString path = home + fileName;
    logLine(QStringLiteral("FilePath: ") + path);
    if (home.isEmpty()) {
        reportWriteFailure(path, QStringLiteral("the working folder is not known yet"));
        return;
    }
    QSaveFile file(path);
    // The file holds secrets: owner-only before any byte is written, also when it
    // replaces a file that was readable by others.
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(content) == content.size() && file.commit();
    if (!written)
        reportWriteFailure(path, file.errorString());
}

void writeAuthFile() {
    const AppState& state = appState();
    writeWorkingFile(kAuthFile,
                     (state.vpnUsername + QLatin1Char('\n') + state.vpnPassword).toUtf8());
}

void writeOvpnFile(const QString& config) {
    writeWorkingFile(kConfigFile,
                     rewrittenConfig(config, appState().vpnHomeDir + kAuthFile).toUtf8());
}

bool openVPNMayRun() {
    return appState().openVPNMayRun;
}

void writeStopScript() {
    writeWorkingFile(
        kStopScriptFile,
        makePrivilegedScript(OpenVPNCommands::stopCommand(appState().vpnHomeDir)).toUtf8());
}

void stopOpenVPN() {
    writeStopScript();
    runStopScript();
}

void runStopScript() {
    appState().openVPNMayRun = false;
    if (ScriptRunner* runner = scriptRunner())
        runner->runScriptFile(appState().vpnHomeDir + kStopScriptFile);
}

void copyPackageFolders() {
    ScriptRunner* runner = scriptRunner();
    if (!runner)
        return;
    const QString home = appState().vpnHomeDir;
    QString reason;
    if (!PackagePin::packageMatchesPin(home, &reason)) {
        qCInfo(lcOpenVpn) << "Cellar and opt are not copied into /usr/local:" << reason;
        return;
    }
    for (const QString& folder : {QStringLiteral("/Cellar"), QStringLiteral("/opt")}) {
        runner->runAppleScript(makePrivilegedScript(QStringLiteral("sudo cp -R ") +
                                                    shellQuoted(home + folder) +
                                                    QStringLiteral(" /usr/local")));
    }
}

struct WorkItem::State {
    mutable std::mutex mutex;
    mutable std::condition_variable done;
    bool finished = false;
};

WorkItem::WorkItem() : m_state(std::make_shared<State>()) {}

std::shared_ptr<WorkItem> WorkItem::start(std::function<void()> job) {
    std::shared_ptr<WorkItem> item(new WorkItem);
    // Detached: the job may outlive every handle, as the OpenVPN launch does.
    std::thread([state = item->m_state, job = std::move(job)] {
        job();
        {
            const std::lock_guard lock(state->mutex);
            state->finished = true;
        }
        state->done.notify_all();
    }).detach();
    return item;
}

bool WorkItem::isFinished() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->finished;
}

bool WorkItem::waitForFinished(int timeoutMs) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_state->finished; });
}

OpenVPNLauncher::OpenVPNLauncher(OpenVPNScreen screen) : m_screen(std::move(screen)) {}

void OpenVPNLauncher::launchOpenVPN() {
    ScriptRunner* runner = scriptRunner();
    if (!runner)
        return;
    const QString command = OpenVPNCommands::launchCommand(appState().vpnHomeDir);
    if (command.isEmpty())
        return;
    // The statement, password included, is fixed here on the main thread. OpenVPN exits
    // with status 0 when the service refuses the password, so the job's end says nothing
    // about the tunnel: only the interface count does.
    const QString statement = makePrivilegedScript(command);
    appState().openVPNMayRun = true;
    Leftovers::markPending();
    m_workItem = WorkItem::start([runner, statement] { runner->runAppleScript(statement); });
}

void OpenVPNLauncher::installAndLaunchOpenVPN() {
    AppState& state = appState();
    if (m_screen.showConnecting)
        m_screen.showConnecting();
    if (state.isAdminAuthorized)
        copyPackageFolders();
    if (Preferences* preferences = services().preferences)
        preferences->setValue(QStringLiteral("set_vpn_conf"), 1);
    writeAuthFile();
    writeOvpnFile(state.currentServer ? state.currentServer->config : QString());
    if (state.isAdminAuthorized) {
        if (m_screen.showConnecting)
            m_screen.showConnecting();
        launchOpenVPN();
    } else if (m_screen.presentAdminDialog) {
        m_screen.presentAdminDialog();
    }
}
