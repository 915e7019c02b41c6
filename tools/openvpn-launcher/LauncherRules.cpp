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

std::string recordText(const ProcessRecord& record) {
    return std::to_string(record.pid) + '\n' + record.startTime + '\n' + record.commandLine;
}

std::optional<ProcessRecord> parseRecord(const std::string& text) {
    const size_t pidEnd = text.find('\n');
    const size_t startEnd = pidEnd == std::string::npos ? pidEnd : text.find('\n', pidEnd + 1);
    if (startEnd == std::string::npos)
        return std::nullopt;
    const std::string pid = text.substr(0, pidEnd);
    const std::string startTime = text.substr(pidEnd + 1, startEnd - pidEnd - 1);
    const auto isNumber = [](const std::string& field, size_t digits) {
        return !field.empty() && field.size() <= digits &&
               std::all_of(field.begin(), field.end(),
                           [](unsigned char c) { return std::isdigit(c); });
    };
    const std::string commandLine = text.substr(startEnd + 1);
    if (!isNumber(pid, 10) || !isNumber(startTime, 20) || commandLine.empty() ||
        commandLine.back() != '\0')
        return std::nullopt;
    const long value = std::stol(pid);
    if (value <= 1)
        return std::nullopt;
    return ProcessRecord{value, startTime, commandLine};
}

std::string startTimeOf(const std::string& stat) {
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return {};
    // Field 3 is the first after the name; field 22 is the twentieth.
    size_t position = nameEnd + 1;
    std::string field;
    for (int n = 3; n <= 22; ++n) {
        const size_t begin = stat.find_first_not_of(' ', position);
        if (begin == std::string::npos)
            return {};
        position = stat.find_first_of(" \n", begin);
        field = stat.substr(begin,
                            position == std::string::npos ? std::string::npos : position - begin);
        if (position == std::string::npos && n < 22)
            return {};
    }
    return field;
}

std::string commandLineOf(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments)
        line += argument + '\0';
    return line;
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
