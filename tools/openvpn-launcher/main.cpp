// orvel-openvpn CONFIG          runs the system's OpenVPN for the client's configuration
// orvel-openvpn --stop CONFIG   stops the OpenVPN started for that configuration
//
// Run as root (through sudo) by the client. It only ever runs /usr/sbin/openvpn, only for
// HOME/OrvelVPN/default.ovpn of the user who invoked it, and only a configuration that is
// exactly what the client's profile filter writes, which starts no program, loads no code
// and writes no file. The configuration is read once and handed to OpenVPN as a
// root-owned copy, so it cannot change after the check; so are the credentials of its
// auth.txt, which must be the user's own file (the client keeps it outside the home). The
// interface is the first free utunN, which the client counts. The pid is recorded in
// /run/orvelvpn with the start time and the arguments, so the stop ends this process,
// and only this one.
#include "LauncherRules.h"

#include <QtGlobal>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr off_t kMaxConfigBytes = off_t{1024} * 1024;
constexpr off_t kMaxAuthBytes = 4096;
constexpr int kTermGraceMs = 3000;
constexpr int kKillGraceMs = 1000;

int fail(const std::string& message) {
    std::fprintf(stderr, "orvel-openvpn: %s\n", message.c_str());
    return 1;
}

bool privateFolder(const struct stat& info, uid_t owner) {
    return S_ISDIR(info.st_mode) && info.st_uid == owner && (info.st_mode & 022) == 0;
}

std::string homeOf(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

// Reads one of the client's files (`what` names it in the answer) through descriptors
// that follow no link, after checking that the folder and the file belong to one user
// (the invoking one unless that is root) and that nobody else may write them.
std::string readUserFile(const std::string& path, const char* what, uid_t user, off_t maxBytes,
                         std::string* text) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    const bool plain = resolved && path == resolved;
    std::free(resolved);
    if (!plain)
        return std::string("the ") + what + " path holds a link or does not exist";
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/') + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat folderInfo {};
    if (dir < 0 || ::fstat(dir, &folderInfo) != 0) {
        if (dir >= 0)
            ::close(dir);
        return std::string("cannot open the folder of the ") + what;
    }
    const uid_t owner = user == 0 ? folderInfo.st_uid : user;
    // Non-blocking: opening a FIFO for reading would wait for a writer, as root.
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(dir);
    if (!privateFolder(folderInfo, owner)) {
        if (fd >= 0)
            ::close(fd);
        return std::string("the folder of the ") + what + " is not the user's own";
    }
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != owner ||
        (info.st_mode & 022) != 0 || info.st_size > maxBytes) {
        if (fd >= 0)
            ::close(fd);
        return std::string("the ") + what + " is not a private regular file of the user";
    }
    std::string content(static_cast<size_t>(info.st_size), '\0');
    const ssize_t read = ::read(fd, content.data(), content.size());
    ::close(fd);
    if (read != info.st_size)
        return std::string("cannot read the ") + what;
    *text = content;
    return {};
}

bool makeStateFolder() {
    ::mkdir(launcher::kStateFolder, 0700);
    struct stat info {};
    return ::lstat(launcher::kStateFolder, &info) == 0 && privateFolder(info, 0);
}

bool writePrivateFile(const std::string& path, const std::string& content) {
    const std::string aside = path + ".new";
    ::unlink(aside.c_str());
    const int fd =
        ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    return written && ::rename(aside.c_str(), path.c_str()) == 0;
}

std::string firstFreeInterface() {
    for (int n = 0; n <= launcher::kLastInterface; ++n) {
        std::string name = "utun" + std::to_string(n);
        if (::access(("/sys/class/net/" + name).c_str(), F_OK) != 0)
            return name;
    }
    return {};
}

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// The process as /proc shows it now; a zombie has no command line, so it matches no
// record.
bool isRunning(const launcher::ProcessRecord& record) {
    const std::string proc = "/proc/" + std::to_string(record.pid);
    return launcher::startTimeOf(readWhole(proc + "/stat")) == record.startTime &&
           readWhole(proc + "/cmdline") == record.commandLine;
}

bool waitForEnd(const launcher::ProcessRecord& record, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (!isRunning(record))
            return true;
        ::usleep(20 * 1000);
    }
    return !isRunning(record);
}

void removeRecord(const std::string& pidFile) {
    const std::string stem = pidFile.substr(0, pidFile.size() - std::string(".pid").size());
    ::unlink(pidFile.c_str());
    ::unlink((stem + ".ovpn").c_str());
    ::unlink((stem + ".auth").c_str());
}

// Records of OpenVPNs that ended by themselves (a refused password, a killed client's
// tunnel stopped by hand) go, with their copies of the configuration.
void sweepEndedRecords() {
    DIR* folder = ::opendir(launcher::kStateFolder);
    if (!folder)
        return;
    const std::string suffix = ".pid";
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.rfind("openvpn-", 0) != 0 || name.size() <= suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string pidFile = std::string(launcher::kStateFolder) + "/" + name;
        const std::optional<launcher::ProcessRecord> record =
            launcher::parseRecord(readWhole(pidFile));
        if (!record || !isRunning(*record))
            removeRecord(pidFile);
    }
    ::closedir(folder);
}

enum class Stop { NothingRecorded, Stopped, StillRunning };

// Ends the OpenVPN recorded for the configuration and nothing else: only the process
// whose pid, start time and arguments are all as recorded is signalled. The record
// stays while that process runs.
Stop endRecorded(const std::string& path) {
    const std::string pidFile = launcher::pidFilePath(path);
    const std::string text = readWhole(pidFile);
    const std::optional<launcher::ProcessRecord> record = launcher::parseRecord(text);
    if (!record) {
        if (!text.empty())
            removeRecord(pidFile);
        return Stop::NothingRecorded;
    }
    const auto pid = static_cast<pid_t>(record->pid);
    if (isRunning(*record)) {
        // SIGTERM first: OpenVPN then takes its routes and interface down itself.
        ::kill(pid, SIGTERM);
        if (!waitForEnd(*record, kTermGraceMs)) {
            ::kill(pid, SIGKILL);
            if (!waitForEnd(*record, kKillGraceMs))
                return Stop::StillRunning;
        }
    }
    // A launch that came in meanwhile has recorded its own process: that record stays.
    if (readWhole(pidFile) == text)
        removeRecord(pidFile);
    return Stop::Stopped;
}

int start(const std::string& path, uid_t user) {
    std::string text;
    if (std::string problem = readUserFile(path, "configuration", user, kMaxConfigBytes, &text);
        !problem.empty())
        return fail(problem);
    if (std::string problem = launcher::configTextProblem(text); !problem.empty())
        return fail(problem);
    const std::string authPath = launcher::authFileOf(text);
    std::string credentials;
    if (!authPath.empty()) {
        if (std::string problem =
                readUserFile(authPath, "credentials file", user, kMaxAuthBytes, &credentials);
            !problem.empty())
            return fail(problem);
    }
    // One OpenVPN per configuration: an earlier one would be left without a record.
    if (endRecorded(path) == Stop::StillRunning)
        return fail("the OpenVPN started before for this configuration still runs");
    sweepEndedRecords();
    const std::string device = firstFreeInterface();
    if (device.empty())
        return fail("utun0 to utun10 are all taken");
    const std::string copy = launcher::configCopyPath(path);
    const std::string authCopy = launcher::authCopyPath(path);
    // Options after --config win over the file's own "dev" and "auth-user-pass" lines.
    std::vector<std::string> arguments = {launcher::kOpenVPN, "--config", copy, "--dev", device,
                                          "--dev-type",       "tun"};
    if (!authPath.empty())
        arguments.insert(arguments.end(), {"--auth-user-pass", authCopy});
    // The same process becomes OpenVPN: its pid and start time stay, its arguments are these.
    const launcher::ProcessRecord record{::getpid(),
                                         launcher::startTimeOf(readWhole("/proc/self/stat")),
                                         launcher::commandLineOf(arguments)};
    if (!makeStateFolder() || !writePrivateFile(copy, text) ||
        (!authPath.empty() && !writePrivateFile(authCopy, credentials)) ||
        !writePrivateFile(launcher::pidFilePath(path), launcher::recordText(record)))
        return fail(std::string("cannot write in ") + launcher::kStateFolder);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const char* const envp[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", nullptr};
    ::execve(launcher::kOpenVPN, argv.data(), const_cast<char* const*>(envp));
    return fail(std::string("cannot run ") + launcher::kOpenVPN + ": " + std::strerror(errno));
}

int stop(const std::string& path) {
    switch (endRecorded(path)) {
    case Stop::NothingRecorded:
        std::fprintf(stderr, "orvel-openvpn: no OpenVPN recorded for %s\n", path.c_str());
        return 0;
    case Stop::Stopped:
        return 0;
    case Stop::StillRunning:
        break;
    }
    return fail("the recorded OpenVPN still runs after SIGKILL; its record stays");
}

} // namespace

int main(int argc, char** argv) {
    // The filter logs what it drops for the client's log; a refusal here names the line.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const bool stopping = argc == 3 && std::strcmp(argv[1], "--stop") == 0;
    if (!(argc == 2 && argv[1][0] != '-') && !stopping)
        return fail("usage: orvel-openvpn CONFIG | orvel-openvpn --stop CONFIG");
    if (::geteuid() != 0)
        return fail("must run as root");
    const std::optional<uid_t> user = launcher::invokingUser(std::getenv("SUDO_UID"), ::getuid());
    if (!user)
        return fail("SUDO_UID is not a user id");
    const std::string path = argv[stopping ? 2 : 1];
    const std::string home = *user == 0 ? std::string() : homeOf(*user);
    if (*user != 0 && home.empty())
        return fail("the invoking user has no home folder");
    if (std::string problem = launcher::configPathProblem(path, home); !problem.empty())
        return fail(problem);
    return stopping ? stop(path) : start(path, *user);
}
