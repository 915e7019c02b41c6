#include "tunnel/OpenVPNProfileFilter.h"

#include "tunnel/OpenVPNProfileReader.h"

#include <QLoggingCategory>
#include <algorithm>
#include <array>
#include <initializer_list>

Q_LOGGING_CATEGORY(lcProfile, "orvel.openvpn")

namespace {

using Words = QByteArrayList;

bool isAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool consistsOf(const QByteArray& word, const char* punctuation) {
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [&](char c) {
        return isAlphanumeric(c) || QByteArray(punctuation).contains(c);
    });
}

bool isNumber(const QByteArray& word) {
    return !word.isEmpty() && word.size() <= 10 &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isOneOf(const QByteArray& word, std::initializer_list<const char*> choices) {
    return std::any_of(choices.begin(), choices.end(),
                       [&](const char* choice) { return word == choice; });
}

// Free text (a certificate name, a pushed option's prefix): printable, one line.
bool isText(const QByteArray& word) {
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
    });
}

// A host name or an address, never a path.
bool isHost(const QByteArray& word) {
    return consistsOf(word, "._:-") && !word.startsWith('-');
}

bool isNoneCipher(const QByteArray& element) {
    return element.toLower() == "none";
}

// Data-channel ciphers and digests: "none" switches encryption or authentication off.
bool isCipherList(const QByteArray& word) {
    if (!consistsOf(word, "._:-"))
        return false;
    const QByteArrayList elements = word.split(':');
    return std::none_of(elements.begin(), elements.end(),
                        [](const QByteArray& e) { return e.isEmpty() || isNoneCipher(e); });
}

// TLS cipher strings may exclude the unencrypted suites ("!aNULL"), never ask for them.
bool isTlsCipherList(const QByteArray& word) {
    if (!consistsOf(word, "._:+!-"))
        return false;
    const QByteArrayList elements = word.split(':');
    return std::none_of(elements.begin(), elements.end(), [](const QByteArray& e) {
        const QByteArray upper = e.toUpper();
        return e.isEmpty() || (!e.startsWith('!') && !e.startsWith('-') &&
                               (upper.contains("NULL") || upper.contains("EXPORT")));
    });
}

bool allNumbers(const Words& args) {
    return std::all_of(args.begin(), args.end(), isNumber);
}

bool isProto(const QByteArray& word) {
    return isOneOf(word, {"udp", "tcp", "tcp-client", "udp4", "udp6", "tcp4", "tcp6", "tcp4-client",
                          "tcp6-client"});
}

bool isGatewayFlag(const QByteArray& word) {
    return isOneOf(word, {"local", "autolocal", "def1", "bypass-dhcp", "bypass-dns", "block-local",
                          "ipv4", "!ipv4", "ipv6", "!ipv6"});
}

bool remoteArgs(const Words& a) {
    return isHost(a[0]) && (a.size() < 2 || isNumber(a[1])) && (a.size() < 3 || isProto(a[2]));
}

struct Directive {
    const char* name;
    int minArgs;
    int maxArgs;
    bool (*argsOk)(const Words&); // null: no arguments
    bool inConnection;            // may stand inside <connection>
};

constexpr int kAnyCount = OpenVPNProfileReader::kMaxWords - 1;

// What a client profile needs, and nothing that names a file: certificates and keys
// come only inline (below), credentials only from the client's own auth file.
const std::array kDirectives = std::to_array<Directive>({
    // Client mode and the servers to reach.
    {"client", 0, 0, nullptr, false},
    {"tls-client", 0, 0, nullptr, false},
    {"pull", 0, 0, nullptr, false},
    {"remote", 1, 3, remoteArgs, true},
    {"remote-random", 0, 0, nullptr, false},
    {"remote-random-hostname", 0, 0, nullptr, false},
    {"proto", 1, 1, [](const Words& a) { return isProto(a[0]); }, true},
    {"port", 1, 1, allNumbers, true},
    {"rport", 1, 1, allNumbers, true},
    {"nobind", 0, 0, nullptr, true},
    {"float", 0, 0, nullptr, true},
    {"dev", 1, 1, [](const Words& a) { return consistsOf(a[0], "_-") && a[0].size() <= 15; },
     false},
    {"dev-type", 1, 1, [](const Words& a) { return isOneOf(a[0], {"tun", "tap"}); }, false},
    {"topology", 1, 1, [](const Words& a) { return isOneOf(a[0], {"net30", "p2p", "subnet"}); },
     false},
    {"persist-key", 0, 0, nullptr, false},
    {"persist-tun", 0, 0, nullptr, false},
    // Reconnect timing.
    {"resolv-retry", 1, 1, [](const Words& a) { return a[0] == "infinite" || isNumber(a[0]); },
     false},
    {"connect-retry", 1, 2, allNumbers, true},
    {"connect-retry-max", 1, 1, allNumbers, true},
    {"connect-timeout", 1, 1, allNumbers, true},
    {"server-poll-timeout", 1, 1, allNumbers, false},
    {"explicit-exit-notify", 0, 1, allNumbers, true},
    // Data-channel and TLS algorithms, never "none".
    {"cipher", 1, 1, [](const Words& a) { return isCipherList(a[0]) && !a[0].contains(':'); },
     false},
    {"data-ciphers", 1, 1, [](const Words& a) { return isCipherList(a[0]); }, false},
    {"data-ciphers-fallback", 1, 1,
     [](const Words& a) { return isCipherList(a[0]) && !a[0].contains(':'); }, false},
    {"auth", 1, 1, [](const Words& a) { return isCipherList(a[0]) && !a[0].contains(':'); },
     false},
    {"tls-version-min", 1, 2,
     [](const Words& a) {
         return consistsOf(a[0], ".") && (a.size() < 2 || a[1] == "or-highest");
     },
     false},
    {"tls-version-max", 1, 1, [](const Words& a) { return consistsOf(a[0], "."); }, false},
    {"tls-cipher", 1, 1, [](const Words& a) { return isTlsCipherList(a[0]); }, false},
    {"tls-ciphersuites", 1, 1, [](const Words& a) { return isTlsCipherList(a[0]); }, false},
    {"tls-groups", 1, 1, [](const Words& a) { return isCipherList(a[0]); }, false},
    {"ecdh-curve", 1, 1, [](const Words& a) { return consistsOf(a[0], "_-"); }, false},
    // Checks of the server's certificate.
    {"remote-cert-tls", 1, 1, [](const Words& a) { return a[0] == "server"; }, false},
    {"remote-cert-ku", 1, kAnyCount,
     [](const Words& a) {
         return std::all_of(a.begin(), a.end(), [](const QByteArray& w) {
             return consistsOf(w, "") && w.size() <= 4;
         });
     },
     false},
    {"remote-cert-eku", 1, 1, [](const Words& a) { return isText(a[0]); }, false},
    {"verify-x509-name", 1, 2,
     [](const Words& a) {
         return isText(a[0]) && (a.size() < 2 || isOneOf(a[1], {"subject", "name", "name-prefix"}));
     },
     false},
    {"key-direction", 1, 1, [](const Words& a) { return isOneOf(a[0], {"0", "1"}); }, true},
    // Key exchange timing and replay protection.
    {"tls-timeout", 1, 1, allNumbers, false},
    {"hand-window", 1, 1, allNumbers, false},
    {"tran-window", 1, 1, allNumbers, false},
    {"reneg-sec", 1, 2, allNumbers, false},
    {"reneg-bytes", 1, 1, allNumbers, false},
    {"reneg-pkts", 1, 1, allNumbers, false},
    {"replay-window", 1, 2, allNumbers, false},
    // Keepalive.
    {"keepalive", 2, 2, allNumbers, false},
    {"ping", 1, 1, allNumbers, false},
    {"ping-restart", 1, 1, allNumbers, false},
    {"ping-exit", 1, 1, allNumbers, false},
    {"ping-timer-rem", 0, 0, nullptr, false},
    // Packet sizes and socket tuning.
    {"tun-mtu", 1, 1, allNumbers, true},
    {"tun-mtu-extra", 1, 1, allNumbers, true},
    {"link-mtu", 1, 1, allNumbers, true},
    {"mssfix", 0, 2,
     [](const Words& a) {
         return a.isEmpty() || (isNumber(a[0]) && (a.size() < 2 || isOneOf(a[1], {"mtu", "fixed"})));
     },
     true},
    {"fragment", 1, 2, [](const Words& a) { return isNumber(a[0]) && (a.size() < 2 || a[1] == "mtu"); },
     true},
    {"mtu-disc", 1, 1, [](const Words& a) { return isOneOf(a[0], {"no", "maybe", "yes"}); }, true},
    {"sndbuf", 1, 1, allNumbers, false},
    {"rcvbuf", 1, 1, allNumbers, false},
    {"txqueuelen", 1, 1, allNumbers, false},
    {"fast-io", 0, 0, nullptr, false},
    // Routes, including the product's full redirect.
    {"route", 1, 4, [](const Words& a) { return std::all_of(a.begin(), a.end(), isHost); },
     false},
    {"route-ipv6", 1, 3,
     [](const Words& a) {
         return std::all_of(a.begin(), a.end(),
                            [](const QByteArray& w) { return consistsOf(w, "._:/-"); });
     },
     false},
    {"route-metric", 1, 1, allNumbers, false},
    {"route-delay", 0, 2, allNumbers, false},
    {"route-nopull", 0, 0, nullptr, false},
    {"redirect-gateway", 0, kAnyCount,
     [](const Words& a) { return std::all_of(a.begin(), a.end(), isGatewayFlag); }, false},
    {"redirect-private", 0, kAnyCount,
     [](const Words& a) { return std::all_of(a.begin(), a.end(), isGatewayFlag); }, false},
    {"block-ipv6", 0, 0, nullptr, false},
    {"pull-filter", 2, 2,
     [](const Words& a) { return isOneOf(a[0], {"accept", "ignore", "reject"}) && isText(a[1]); },
     false},
    // Compression framing only: compressed traffic leaks what it carries.
    {"compress", 0, 1, [](const Words& a) { return a.isEmpty() || isOneOf(a[0], {"stub", "stub-v2"}); },
     false},
    {"comp-lzo", 1, 1, [](const Words& a) { return a[0] == "no"; }, false},
    {"allow-compression", 1, 1, [](const Words& a) { return a[0] == "no"; }, false},
    // Logging and credentials handling.
    {"verb", 1, 1, allNumbers, false},
    {"mute", 1, 1, allNumbers, false},
    {"mute-replay-warnings", 0, 0, nullptr, false},
    {"auth-nocache", 0, 0, nullptr, false},
    {"auth-retry", 1, 1, [](const Words& a) { return isOneOf(a[0], {"none", "nointeract"}); },
     false},
    {"push-peer-info", 0, 0, nullptr, false},
    {"up-delay", 0, 0, nullptr, false},
    // Checked against the client's own auth file by the filter itself.
    {"auth-user-pass", 1, 1, nullptr, false},
});

// Inline blocks that hold certificates and keys as PEM text.
bool isPemBlock(const QByteArray& name) {
    return isOneOf(name,
                   {"ca", "cert", "key", "extra-certs", "tls-auth", "tls-crypt", "tls-crypt-v2"});
}

const Directive* directive(const QByteArray& name) {
    const auto found = std::find_if(kDirectives.begin(), kDirectives.end(),
                                    [&](const Directive& d) { return name == d.name; });
    return found == kDirectives.end() ? nullptr : &*found;
}

void logDropped(const char* what, const QByteArray& name = {}) {
    qCWarning(lcProfile).noquote()
        << "dropped" << what << name.left(64) << "from the service's configuration";
}

// "-----BEGIN label-----" with a label of letters, digits, blanks and dashes.
std::optional<QByteArray> pemLabel(const QByteArray& line, const QByteArray& marker) {
    const QByteArray head = "-----" + marker + ' ';
    if (!line.startsWith(head) || !line.endsWith("-----") || line.size() <= head.size() + 5)
        return std::nullopt;
    const QByteArray label = line.mid(head.size(), line.size() - head.size() - 5);
    if (!consistsOf(QByteArray(label).replace(' ', '-'), "-"))
        return std::nullopt;
    return label;
}

// The PEM blocks of an inline body, one base64 (or hex key) line each, and nothing
// else: text around the blocks (comments, certificate dumps) is left out; a body
// with no block, or with anything but base64 inside one, is refused.
std::optional<QByteArray> pemText(const QByteArray& body) {
    QByteArray text;
    QByteArray block;
    std::optional<QByteArray> label;
    for (const QByteArray& rawLine : body.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (!label) {
            label = pemLabel(line, "BEGIN");
            block = label ? line + '\n' : QByteArray();
            continue;
        }
        if (line.isEmpty())
            continue;
        if (pemLabel(line, "END") == label && block.count('\n') > 1) {
            text += block + line + '\n';
            label.reset();
            continue;
        }
        if (!consistsOf(line, "+/=") || line.size() > OpenVPNProfileReader::kMaxLineLength)
            return std::nullopt;
        block += line + '\n';
    }
    if (label || text.isEmpty())
        return std::nullopt;
    return text;
}

} // namespace

OpenVPNProfileFilter::OpenVPNProfileFilter(QByteArray authPath) : m_authPath(std::move(authPath)) {}

bool OpenVPNProfileFilter::isAllowedDirective(const QByteArray& name) {
    return directive(name) != nullptr;
}

bool OpenVPNProfileFilter::isAllowedInlineBlock(const QByteArray& name) {
    return isPemBlock(name) || name == "connection";
}

QByteArray OpenVPNProfileFilter::filtered(const QByteArray& profile) const {
    OpenVPNProfileReader reader(profile);
    QByteArray output;
    while (!reader.atEnd()) {
        const OpenVPNProfileReader::Line line = reader.nextLine();
        if (line.tooLong) {
            logDropped("an over-long line");
            continue;
        }
        const std::optional<Words> words = OpenVPNProfileReader::words(line.text);
        if (!words) {
            logDropped("a line OpenVPN cannot read");
            continue;
        }
        if (words->isEmpty())
            continue;
        if (const std::optional<QByteArray> name = OpenVPNProfileReader::inlineBlockName(*words)) {
            // The body is consumed whatever becomes of it: OpenVPN never reads it as
            // directives.
            const std::optional<QByteArray> body = reader.inlineBody(*name);
            std::optional<QByteArray> text;
            if (body && isPemBlock(*name))
                text = pemText(*body);
            else if (body && *name == "connection")
                text = connectionBlock(*body);
            if (text)
                output += '<' + *name + ">\n" + *text + "</" + *name + ">\n";
            else
                logDropped("the inline block", *name);
            continue;
        }
        if (const std::optional<QByteArray> kept = directiveLine(*words, false))
            output += *kept + '\n';
    }
    return output;
}

std::optional<QByteArray> OpenVPNProfileFilter::directiveLine(Words words,
                                                              bool inConnection) const {
    words[0] = OpenVPNProfileReader::withoutDoubleDash(words[0]);
    // "setenv opt NAME ..." sets NAME; written back as NAME itself.
    if (words.size() > 2 && words[0] == "setenv" && words[1] == "opt")
        words = words.mid(2);
    const Directive* allowed = directive(words[0]);
    if (!allowed || (inConnection && !allowed->inConnection)) {
        logDropped("the directive", words[0]);
        return std::nullopt;
    }
    const Words args = words.mid(1);
    std::optional<QByteArray> line;
    if (words[0] == "auth-user-pass") {
        // The only file a kept line names; a path that breaks the line is refused.
        if (args == Words{m_authPath} && !m_authPath.contains('\n') && !m_authPath.contains('\0'))
            line = "auth-user-pass " + OpenVPNProfileReader::quoted(m_authPath);
    } else if (args.size() >= allowed->minArgs && args.size() <= allowed->maxArgs &&
               (!allowed->argsOk || allowed->argsOk(args))) {
        line = OpenVPNProfileReader::line(words);
    }
    if (!line || line->size() > OpenVPNProfileReader::kMaxLineLength) {
        logDropped("the arguments of", words[0]);
        return std::nullopt;
    }
    return line;
}

// A connection profile keeps its allowed lines, and is kept only when it still names
// a server.
std::optional<QByteArray> OpenVPNProfileFilter::connectionBlock(const QByteArray& body) const {
    QByteArray text;
    bool hasRemote = false;
    for (const QByteArray& line : body.split('\n')) {
        if (line.size() > OpenVPNProfileReader::kMaxLineLength)
            return std::nullopt;
        const std::optional<Words> words = OpenVPNProfileReader::words(line);
        if (!words || OpenVPNProfileReader::inlineBlockName(*words))
            return std::nullopt;
        if (words->isEmpty())
            continue;
        if (const std::optional<QByteArray> kept = directiveLine(*words, true)) {
            text += *kept + '\n';
            hasRemote = hasRemote || kept->startsWith("remote ");
        }
    }
    if (!hasRemote)
        return std::nullopt;
    return text;
}
