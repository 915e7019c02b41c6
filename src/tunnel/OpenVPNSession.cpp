#include "tunnel/OpenVPNSession.h"

#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/Preferences.h"
#include "platform/PrivateRuntimeFolder.h"
#include "platform/ScriptRunner.h"
#include "tunnel/OpenVPNCommands.h"
#include "tunnel/OpenVPNProfileCompletion.h"
#include "tunnel/OpenVPNProfileFilter.h"
#include "tunnel/OpenVPNProfileReader.h"
#include "tunnel/PackagePin.h"
#include "tunnel/PrivilegedScript.h"
#include "tunnel/WorkingFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QUrl>
#include <condition_variable>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcOpenVpn, "orvel.openvpn")

namespace {

const QString kAuthFile = QStringLiteral("auth.txt");
const QString kConfigFile = QStringLiteral("default.ovpn");
const QString kStopScriptFile = QStringLiteral("disconnect.scpt");

struct WrittenProfile {
    QByteArray text;
    QByteArrayList dropped;
    QString problem; // why it is no client profile; then `text` is empty
};

// The service's text is read in lines as OpenVPN reads them: at a line feed, with or
// without a carriage return before it. The auth line names the path quoted, so a home
// folder with a blank, a quote or a '#' survives OpenVPN's word rules.
WrittenProfile writtenProfile(const QString& config, const QString& authPath) {
    const QByteArray authLine = "auth-user-pass " + OpenVPNProfileReader::quoted(authPath.toUtf8());
    WrittenProfile profile;
    QByteArray output;
    for (QString line : config.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QByteArray kept =
            line.contains(QLatin1String("auth-user-pass")) ? authLine : line.toUtf8();
        if (kept.contains("register-dns") || kept.contains("block-outside-dns")) {
            const QByteArray name =
                kept.contains("register-dns") ? "register-dns" : "block-outside-dns";
            if (!profile.dropped.contains(name))
                profile.dropped << name;
            continue;
        }
        output += kept + '\n';
    }
    const QByteArray filtered =
        OpenVPNProfileFilter(authPath.toUtf8()).filtered(output, &profile.dropped);
    profile.problem = OpenVPNProfileFilter::clientProfileProblem(filtered);
    if (profile.problem.isEmpty())
        profile.text = OpenVPNProfileCompletion::completed(filtered);
    return profile;
}

QString currentServerName() {
    const auto& server = appState().currentServer;
    return server ? server->name : QString();
}

} // namespace

QByteArray clientProfile(const QString& config, const QString& authPath) {
    return writtenProfile(config, authPath).text;
}

namespace {

ScriptRunner* scriptRunner() {
    ScriptRunner* runner = services().scriptRunner;
    if (!runner)
        qCWarning(lcOpenVpn) << "no script runner is wired; nothing runs";
    return runner;
}

// What the last write left is what would run; a refused profile left nothing usable.
bool writtenProfileIsUsable() {
    QFile written(appState().vpnHomeDir + kConfigFile);
    return written.open(QIODevice::ReadOnly) &&
           OpenVPNProfileFilter::clientProfileProblem(written.readAll()).isEmpty();
}

} // namespace

QString openVpnAuthFilePath() {
    const QString folder = privateRuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + kAuthFile;
}

void writeAuthFile() {
    const AppState& state = appState();
    const QString path = openVpnAuthFilePath();
    if (path.isEmpty()) {
        logLine(QStringLiteral("FilePath: ") + kAuthFile);
        reportWriteFailure(kAuthFile, QStringLiteral("there is no private runtime folder"));
        return;
    }
    writePrivateFile(path, (state.vpnUsername + QLatin1Char('\n') + state.vpnPassword).toUtf8());
}

void removeAuthFile() {
    const QString path = openVpnAuthFilePath();
    if (!path.isEmpty())
        QFile::remove(path);
}

void writeOvpnFile(const QString& config) {
    const WrittenProfile profile = writtenProfile(config, openVpnAuthFilePath());
    if (!profile.dropped.isEmpty())
        qCWarning(lcOpenVpn).noquote() << "left out of the profile of" << currentServerName() << "-"
                                       << profile.dropped.join(", ");
    if (!profile.problem.isEmpty())
        qCWarning(lcOpenVpn).noquote()
            << "the profile of" << currentServerName() << "is refused:" << profile.problem;
    writeWorkingFile(kConfigFile, profile.text);
}

bool openVPNMayRun() {
    return appState().openVPNMayRun;
}

namespace {
// The last stop of this run; a launch waits for it. The stop ends whatever OpenVPN is
// recorded when it runs, so one that ran after the next launch would end that one.
std::shared_ptr<WorkItem> g_lastStop;
// The stop's own grace before SIGKILL, and the time sudo takes, with room to spare.
constexpr int kStopWaitMs = 15000;
} // namespace

void writeStopScript() {
    writeWorkingFile(
        kStopScriptFile,
        makePrivilegedScript(OpenVPNCommands::stopCommand(appState().vpnHomeDir)).toUtf8());
}

void stopOpenVPN() {
    writeStopScript();
    appState().openVPNMayRun = false;
    removeAuthFile();
    ScriptRunner* runner = scriptRunner();
    if (!runner)
        return;
    const QString statement =
        makePrivilegedScript(OpenVPNCommands::stopCommand(appState().vpnHomeDir));
    g_lastStop = WorkItem::start([runner, statement] { runner->runAppleScript(statement); });
}

std::shared_ptr<WorkItem> lastOpenVPNStop() {
    return g_lastStop;
}

void runStopScript() {
    appState().openVPNMayRun = false;
    if (ScriptRunner* runner = scriptRunner())
        runner->runScriptFile(appState().vpnHomeDir + kStopScriptFile);
    removeAuthFile();
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

std::shared_ptr<WorkItem> WorkItem::start(std::function<void()> job,
                                          std::function<void()> finished) {
    std::shared_ptr<WorkItem> item(new WorkItem);
    // Detached: the job may outlive every handle, as the OpenVPN launch does.
    std::thread([state = item->m_state, job = std::move(job), finished = std::move(finished)] {
        job();
        {
            const std::lock_guard lock(state->mutex);
            state->finished = true;
        }
        state->done.notify_all();
        if (finished && QCoreApplication::instance())
            QMetaObject::invokeMethod(QCoreApplication::instance(), finished, Qt::QueuedConnection);
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
    if (!writtenProfileIsUsable()) {
        showConfirmAlert(
            localized(QStringLiteral("OPENVPN_PROFILE_REFUSED")).arg(currentServerName()));
        return;
    }
    const QString command = OpenVPNCommands::launchCommand(appState().vpnHomeDir);
    if (command.isEmpty())
        return;
    // The statement, password included, is fixed here on the main thread. OpenVPN exits
    // with status 0 when the service refuses the password, so the job's end says nothing
    // about the tunnel: only the interface count does.
    const QString statement = makePrivilegedScript(command);
    appState().openVPNMayRun = true;
    TeardownMarker::markPending();
    const quint64 launch = ++m_exit->launches;
    m_workItem = WorkItem::start(
        [runner, statement, stop = lastOpenVPNStop()] {
            if (stop && !stop->waitForFinished(kStopWaitMs))
                qCWarning(lcOpenVpn) << "the last stop has not ended; launching all the same";
            runner->runAppleScript(statement);
        },
        [exit = std::weak_ptr(m_exit), launch] {
            const auto watch = exit.lock();
            if (watch && launch == watch->launches && watch->handler)
                watch->handler();
        });
}

bool OpenVPNLauncher::isRunning() const {
    return m_workItem && !m_workItem->isFinished();
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
