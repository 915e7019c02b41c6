#include "LauncherRules.h"

#include "tunnel/OpenVPNProfileFilter.h"
#include "tunnel/OpenVPNProfileReader.h"

#include <QByteArray>
#include <QByteArrayList>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace launcher {

namespace {

std::string onlyArgument(const QByteArrayList& arguments) {
    return arguments.size() == 1 ? arguments.first().toStdString() : std::string();
}

bool isPlainAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/' && path.find("/./") == std::string::npos &&
           path.find("/../") == std::string::npos && path.find("//") == std::string::npos;
}

// 1 for the first line.
size_t firstDifferingLine(const QByteArray& a, const QByteArray& b) {
    qsizetype same = 0;
    while (same < a.size() && same < b.size() && a[same] == b[same])
        ++same;
    return static_cast<size_t>(a.left(same).count('\n')) + 1;
}

} // namespace

std::optional<uid_t> invokingUser(const char* sudoUid, uid_t realUid) {
    if (!sudoUid)
        return realUid;
    const std::string text = sudoUid;
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const unsigned long value = std::stoul(text);
    if (value > static_cast<unsigned long>(static_cast<uid_t>(-1)))
        return std::nullopt;
    return static_cast<uid_t>(value);
}

std::string configPathProblem(const std::string& path, const std::string& home) {
    const std::string suffix = std::string("/") + kClientFolderName + "/" + kConfigName;
    if (path.empty() || path[0] != '/')
        return "the configuration path is not absolute";
    if (path.find("/./") != std::string::npos || path.find("/../") != std::string::npos ||
        path.find("//") != std::string::npos)
        return "the configuration path is not plain";
    if (path.size() <= suffix.size() ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
        return "the configuration is not the client's default.ovpn";
    if (home.empty())
        return {};
    std::string base = home;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base == "/")
        base.clear();
    if (path != base + suffix)
        return "the configuration is not in the invoking user's home folder";
    return {};
}

std::string configTextProblem(const std::string& text) {
    const QByteArray given = QByteArray::fromStdString(text);
    QByteArray authPath;
    if (const std::optional<QByteArrayList> arguments =
            OpenVPNProfileReader::lastArguments(given, "auth-user-pass")) {
        if (std::string problem = authPathProblem(onlyArgument(*arguments)); !problem.empty())
            return problem;
        authPath = arguments->first();
    }
    const QByteArray written = OpenVPNProfileFilter(authPath).filtered(given);
    if (written != given)
        return "line " + std::to_string(firstDifferingLine(given, written)) +
               " of the configuration is not as the client writes it";
    // Without "client" OpenVPN would listen for any peer, as root.
    if (const QString problem = OpenVPNProfileFilter::clientProfileProblem(given);
        !problem.isEmpty())
        return "the configuration is refused: " + problem.toStdString();
    return {};
}

std::string authPathProblem(const std::string& path) {
    const std::string name = "/auth.txt";
    if (!isPlainAbsolute(path) || path.size() <= name.size() ||
        path.compare(path.size() - name.size(), name.size(), name) != 0)
        return "auth-user-pass may only name the client's own auth.txt";
    return {};
}

std::string authFileOf(const std::string& text) {
    const std::optional<QByteArrayList> arguments =
        OpenVPNProfileReader::lastArguments(QByteArray::fromStdString(text), "auth-user-pass");
    return arguments ? onlyArgument(*arguments) : std::string();
}

std::string stateKey(const std::string& configPath) {
    std::uint64_t hash = 1469598103934665603ULL; // FNV-1a
    for (const unsigned char c : configPath) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string pidFilePath(const std::string& configPath) {
    return std::string(kStateFolder) + "/openvpn-" + stateKey(configPath) + ".pid";
}

std::string configCopyPath(const std::string& configPath) {
    return std::string(kStateFolder) + "/openvpn-" + stateKey(configPath) + ".ovpn";
}

std::string authCopyPath(const std::string& configPath) {
    return std::string(kStateFolder) + "/openvpn-" + stateKey(configPath) + ".auth";
}

} // namespace launcher
