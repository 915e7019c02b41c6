#include "LauncherRules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <vector>

namespace launcher {

namespace {

// Directives that would make OpenVPN, running as root, start a program, load code,
// open a control port or write a file somewhere.
const std::set<std::string>& refusedDirectives() {
    static const std::set<std::string> names = {"auth-user-pass-verify",
                                                "cd",
                                                "chroot",
                                                "client-connect",
                                                "client-disconnect",
                                                "config",
                                                "daemon",
                                                "dns-script",
                                                "down",
                                                "engine",
                                                "ifconfig-pool-persist",
                                                "iproute",
                                                "ipchange",
                                                "learn-address",
                                                "log",
                                                "log-append",
                                                "management",
                                                "pkcs11-providers",
                                                "plugin",
                                                "providers",
                                                "replay-persist",
                                                "route-pre-down",
                                                "route-up",
                                                "script-security",
                                                "status",
                                                "tls-export-cert",
                                                "tls-verify",
                                                "tmp-dir",
                                                "up",
                                                "writepid"};
    return names;
}

// The words of one line as OpenVPN's own parser reads them: blanks separate, quotes
// group, a backslash takes the next character as it is.
std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && quote != '\'' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string directiveName(std::string word) {
    if (word.rfind("--", 0) == 0)
        word.erase(0, 2);
    return lowered(word);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\f\v");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\f\v");
    return text.substr(first, last - first + 1);
}

// "<name>" opens an inline block, "</name>" closes it; empty otherwise.
std::string blockTag(const std::string& line, bool closing) {
    const std::string open = closing ? "</" : "<";
    if (line.size() <= open.size() + 1 || line.rfind(open, 0) != 0 || line.back() != '>')
        return {};
    return lowered(line.substr(open.size(), line.size() - open.size() - 1));
}

std::string problemOfLine(const std::vector<std::string>& words) {
    std::string name = directiveName(words[0]);
    // "setenv opt NAME ..." makes NAME an option as well.
    if (name == "setenv" && words.size() >= 3 && lowered(words[1]) == "opt")
        name = directiveName(words[2]);
    if (refusedDirectives().count(name))
        return "the directive \"" + name + "\" is not allowed";
    if (name == "auth-user-pass" && words.size() >= 2)
        return authPathProblem(words[1]);
    return {};
}

bool isPlainAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/' && path.find("/./") == std::string::npos &&
           path.find("/../") == std::string::npos && path.find("//") == std::string::npos;
}

// Calls `visit` with the words of each directive line, and with the tag of each inline
// block opened (whose content is no directive); stops at the first problem it returns.
std::string
visitDirectives(const std::string& text,
                const std::function<std::string(const std::vector<std::string>&)>& visitLine,
                const std::function<std::string(const std::string&)>& visitBlock) {
    std::string block;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!block.empty()) {
            if (blockTag(line, true) == block)
                block.clear();
            continue;
        }
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (const std::string tag = blockTag(line, false); !tag.empty()) {
            if (std::string problem = visitBlock(tag); !problem.empty())
                return problem;
            block = tag;
            continue;
        }
        const std::vector<std::string> words = wordsOf(line);
        if (words.empty())
            continue;
        if (std::string problem = visitLine(words); !problem.empty())
            return problem;
    }
    return {};
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
    return visitDirectives(text, problemOfLine, [](const std::string& tag) -> std::string {
        if (refusedDirectives().count(tag))
            return "the inline block \"" + tag + "\" is not allowed";
        return {};
    });
}

std::string authPathProblem(const std::string& path) {
    const std::string name = "/auth.txt";
    if (!isPlainAbsolute(path) || path.size() <= name.size() ||
        path.compare(path.size() - name.size(), name.size(), name) != 0)
        return "auth-user-pass may only name the client's own auth.txt";
    return {};
}

std::string authFileOf(const std::string& text) {
    std::string path;
    visitDirectives(
        text,
        [&path](const std::vector<std::string>& words) -> std::string {
            if (directiveName(words[0]) == "auth-user-pass")
                path = words.size() >= 2 ? words[1] : std::string();
            return {};
        },
        [](const std::string&) { return std::string(); });
    return path;
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
