#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// What orvel-openvpn accepts, apart from the processes and files around it.
namespace launcher {

inline constexpr const char* kOpenVPN = "/usr/sbin/openvpn";
inline constexpr const char* kStateFolder = "/run/orvelvpn";
inline constexpr const char* kClientFolderName = "OrvelVPN";
inline constexpr const char* kConfigName = "default.ovpn";
inline constexpr int kLastInterface = 10; // utun0 .. utun10

// The user the launcher acts for: sudo's SUDO_UID when sudo started it, else the real
// user. Nothing when SUDO_UID is not a number.
std::optional<uid_t> invokingUser(const char* sudoUid, uid_t realUid);

// Why `path` is not HOME/OrvelVPN/default.ovpn of the invoking user; empty when it is.
// `home` is the user's home folder, or empty for root, whose client may run with any
// home: then only the form of the path is checked.
std::string configPathProblem(const std::string& path, const std::string& home);

// Why the configuration must not run as root; empty when it may: only when it is, byte
// for byte, what the client's profile filter writes of it, with the auth.txt its
// auth-user-pass line names (authPathProblem) as the auth file, and a client profile. The
// filter's output is a fixed point of the filter, so whatever else reaches here (a line
// OpenVPN reads otherwise than the filter writes it, a directive off the allow-list, a
// second auth file) is refused, never read a second way.
std::string configTextProblem(const std::string& text);

// Why `path` cannot be the client's auth.txt: it must be plain, absolute and end in
// "/auth.txt". The file itself must then be the invoking user's own (checked on open).
std::string authPathProblem(const std::string& path);
// The file the configuration's last auth-user-pass line names, read as OpenVPN reads it;
// empty when none.
std::string authFileOf(const std::string& text);

// What the stop checks before it signals a recorded process: the pid, the start time
// (field 22 of /proc/PID/stat, clock ticks since boot) and the exact argument vector as
// /proc/PID/cmdline holds it (each argument ended by a NUL). A pid reused since differs
// in its start time, another program in its arguments.
struct ProcessRecord {
    long pid = 0;
    std::string startTime;
    std::string commandLine;

    bool operator==(const ProcessRecord&) const = default;
};
// The pid file's text: the pid and the start time on a line each, then the command line.
std::string recordText(const ProcessRecord& record);
std::optional<ProcessRecord> parseRecord(const std::string& text);
// Field 22 of a /proc/PID/stat line; empty when it has none. The program's name, in
// parentheses, may hold blanks and parentheses: fields count from the last ')'.
std::string startTimeOf(const std::string& stat);
std::string commandLineOf(const std::vector<std::string>& arguments);

// A stable file-name part for a configuration path: the pid and the root-owned copy of
// the configuration are kept under it.
std::string stateKey(const std::string& configPath);
std::string pidFilePath(const std::string& configPath);
std::string configCopyPath(const std::string& configPath);
// Root's copy of the credentials, which OpenVPN reads instead of the user's file.
std::string authCopyPath(const std::string& configPath);

} // namespace launcher
