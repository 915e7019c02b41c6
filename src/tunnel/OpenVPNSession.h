#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class WorkItem;

// The OpenVPN working files in vpnHomeDir and the process they drive.

// Where auth.txt lives: in the private runtime folder, not in vpnHomeDir, so the VPN
// password never lands in the home; "" when there is no such folder.
QString openVpnAuthFilePath();
// auth.txt: vpnUsername, a line feed, vpnPassword.
void writeAuthFile();
// The tunnel it served is stopping: OpenVPN has read it long before.
void removeAuthFile();
// default.ovpn as written from the service's configuration text: the rewrite, then what the
// allow-list keeps.
QByteArray clientProfile(const QString& config, const QString& authPath);
// default.ovpn from the service's configuration text.
void writeOvpnFile(const QString& config);
// disconnect.scpt with the administrator of this moment.
void writeStopScript();
// Rewrites disconnect.scpt and runs its statement on a job of its own; returns at once.
// The next launch waits for that job, so this stop never ends the OpenVPN launched next.
void stopOpenVPN();
// The job of the last stopOpenVPN of this run, or null.
std::shared_ptr<WorkItem> lastOpenVPNStop();
// Starts disconnect.scpt as last written and removes auth.txt; returns at once.
void runStopScript();
// Whether this run launched an OpenVPN that no stop has ended since.
bool openVPNMayRun();
// Copies the package's Cellar and opt folders into /usr/local, waiting for each; only a
// package that matched the pinned SHA-256 is copied.
void copyPackageFolders();

// A job on a thread of its own, like a work item on a global queue: dropping the
// handle neither cancels the job nor waits for it.
class WorkItem final {
public:
    // `finished`, when given, runs on the main thread once the job has ended.
    static std::shared_ptr<WorkItem> start(std::function<void()> job,
                                           std::function<void()> finished = {});

    bool isFinished() const;
    bool waitForFinished(int timeoutMs) const;

private:
    struct State;
    WorkItem();
    std::shared_ptr<State> m_state;
};

// The connection screen's state changes the install-and-launch needs.
struct OpenVPNScreen {
    std::function<void()> showConnecting;
    std::function<void()> presentAdminDialog;
};

// Held by the connection screen: it keeps the launch job of the last launch.
class OpenVPNLauncher final {
public:
    explicit OpenVPNLauncher(OpenVPNScreen screen = {});

    // Starts the program as root on a work item; the statement is fixed before that.
    void launchOpenVPN();
    void installAndLaunchOpenVPN();

    std::shared_ptr<WorkItem> workItem() const { return m_workItem; }
    // The statement of the last launch runs as long as its OpenVPN: the process is ours
    // and up while the job has not ended.
    bool isRunning() const;
    // Runs on the main thread when the OpenVPN of the last launch has exited.
    void setExitHandler(std::function<void()> handler) { m_exit->handler = std::move(handler); }

private:
    OpenVPNScreen m_screen;
    // Shared with the launch jobs, which may end after this launcher is gone.
    struct ExitWatch {
        std::function<void()> handler;
        quint64 launches = 0;
    };
    std::shared_ptr<ExitWatch> m_exit = std::make_shared<ExitWatch>();
    // The launch job runs for the life of the OpenVPN process; a new launch only
    // replaces the handle.
    std::shared_ptr<WorkItem> m_workItem;
};
