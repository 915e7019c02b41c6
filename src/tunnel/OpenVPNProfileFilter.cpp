#include "tunnel/OpenVPNProfileFilter.h"

#include "tunnel/OpenVPNProfileReader.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <array>
#include <initializer_list>

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

bool isOneOfIgnoringCase(const QByteArray& word, std::initializer_list<const char*> choices) {
    return std::any_of(choices.begin(), choices.end(), [&](const char* choice) {
        return word.compare(choice, Qt::CaseInsensitive) == 0;
    });
}

// Named good digests only: OpenSSL also knows a 0-bit "NULL" that OpenVPN accepts.
bool isDigest(const QByteArray& word) {
    return isOneOfIgnoringCase(word,
                               {"SHA1", "SHA224", "SHA256", "SHA384", "SHA512", "SHA512-224",
                                "SHA512-256", "SHA3-224", "SHA3-256", "SHA3-384", "SHA3-512"});
}

// Named good data-channel ciphers only. BF-CBC is not one: a 64-bit block (SWEET32), and
// OpenSSL 3 keeps it in the legacy provider, which no kept line can load.
bool isDataCipher(const QByteArray& word) {
    return isOneOfIgnoringCase(word, {"AES-128-GCM", "AES-192-GCM", "AES-256-GCM", "AES-128-CBC",
                                      "AES-192-CBC", "AES-256-CBC", "AES-128-CTR", "AES-192-CTR",
                                      "AES-256-CTR", "CHACHA20-POLY1305"});
}

// A "?" marks a cipher OpenVPN may skip when its library lacks it.
bool isDataCipherList(const QByteArray& word) {
    const QByteArrayList elements = word.split(':');
    return std::all_of(elements.begin(), elements.end(), [](const QByteArray& e) {
        return isDataCipher(e.startsWith('?') ? e.mid(1) : e);
    });
}

// TLS 1.2 suites with forward secrecy and an AEAD or AES-CBC cipher, in OpenVPN's or
// OpenSSL's spelling; no keyword, exclusion or "@SECLEVEL" that could widen the set.
bool isTlsCipherList(const QByteArray& word) {
    static const QRegularExpression suite(QStringLiteral(
        "^(TLS-)?(ECDHE|DHE)-(RSA|ECDSA)-(WITH-)?"
        "(AES-?(128|256)(-GCM|-CBC)?(-SHA(256|384)?)?|CHACHA20-POLY1305(-SHA256)?)$"));
    const QByteArrayList elements = word.split(':');
    return std::all_of(elements.begin(), elements.end(), [](const QByteArray& e) {
        return suite.match(QString::fromLatin1(e)).hasMatch();
    });
}

bool isTls13SuiteList(const QByteArray& word) {
    const QByteArrayList elements = word.split(':');
    return std::all_of(elements.begin(), elements.end(), [](const QByteArray& e) {
        return isOneOf(e, {"TLS_AES_256_GCM_SHA384", "TLS_AES_128_GCM_SHA256",
                           "TLS_CHACHA20_POLY1305_SHA256"});
    });
}

// A SHA-256 fingerprint: 32 hex bytes joined by colons.
bool isFingerprint(const QByteArray& word) {
    static const QRegularExpression fingerprint(
        QStringLiteral("^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){31}$"));
    return fingerprint.match(QString::fromLatin1(word)).hasMatch();
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
    {"persist-remote-ip", 0, 0, nullptr, false},
    // Reconnect timing.
    {"resolv-retry", 1, 1, [](const Words& a) { return a[0] == "infinite" || isNumber(a[0]); },
     false},
    {"connect-retry", 1, 2, allNumbers, true},
    {"connect-retry-max", 1, 1, allNumbers, true},
    {"connect-timeout", 1, 1, allNumbers, true},
    {"server-poll-timeout", 1, 1, allNumbers, false},
    {"explicit-exit-notify", 0, 1, allNumbers, true},
    // Data-channel and TLS algorithms: named good ones only.
    {"cipher", 1, 1, [](const Words& a) { return isDataCipher(a[0]); }, false},
    {"data-ciphers", 1, 1, [](const Words& a) { return isDataCipherList(a[0]); }, false},
    {"data-ciphers-fallback", 1, 1, [](const Words& a) { return isDataCipher(a[0]); }, false},
    {"auth", 1, 1, [](const Words& a) { return isDigest(a[0]); }, false},
    {"tls-version-min", 1, 2,
     [](const Words& a) {
         return consistsOf(a[0], ".") && (a.size() < 2 || a[1] == "or-highest");
     },
     false},
    {"tls-version-max", 1, 1, [](const Words& a) { return consistsOf(a[0], "."); }, false},
    {"tls-cipher", 1, 1, [](const Words& a) { return isTlsCipherList(a[0]); }, false},
    {"tls-ciphersuites", 1, 1, [](const Words& a) { return isTls13SuiteList(a[0]); }, false},
    {"tls-groups", 1, 1, [](const Words& a) { return consistsOf(a[0], "_:-"); }, false},
    {"ecdh-curve", 1, 1, [](const Words& a) { return consistsOf(a[0], "_-"); }, false},
    // Checks of the server's certificate.
    {"remote-cert-tls", 1, 1, [](const Words& a) { return a[0] == "server"; }, false},
    {"peer-fingerprint", 1, 1, [](const Words& a) { return isFingerprint(a[0]); }, false},
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
    // Compression as the server frames it; what is sent is never compressed, since
    // compressed traffic leaks what it carries (the filter's rewrite sees to that).
    {"compress", 0, 1,
     [](const Words& a) {
         return a.isEmpty() || isOneOf(a[0], {"lzo", "lz4", "lz4-v2", "stub", "stub-v2"});
     },
     false},
    {"comp-lzo", 0, 1,
     [](const Words& a) { return a.isEmpty() || isOneOf(a[0], {"yes", "no", "adaptive"}); }, false},
    {"allow-compression", 1, 1, [](const Words& a) { return isOneOf(a[0], {"no", "asym"}); },
     false},
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

// How a drop is named in the log: printable, short, one line.
QByteArray shown(const QByteArray& name) {
    QByteArray text = name.left(64);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    }
    return text;
}

void noteDropped(QByteArrayList& dropped, const QByteArray& what) {
    if (!dropped.contains(what))
        dropped << what;
}

// The safe form of a line where one exists: compression only as the server frames it
// (and framing only, when the profile refuses compression), never applied to what is
// sent; the data-channel ciphers under their 2.5 name.
Words safeForm(Words words, bool refusesCompression) {
    const QByteArray& name = words[0];
    if (name == "ncp-ciphers") {
        words[0] = "data-ciphers";
    } else if (name == "allow-compression" && (words.size() == 1 || words.mid(1) == Words{"yes"})) {
        words = {name, "asym"};
    } else if (refusesCompression && name == "comp-lzo" && words.size() <= 2) {
        words = {name, "no"};
    } else if (refusesCompression && name == "compress" && words.size() == 2 &&
               isOneOf(words[1], {"lzo", "lz4", "lz4-v2"})) {
        words[1] = words[1] == "lz4-v2" ? "stub-v2" : "stub";
    }
    return words;
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

QByteArray OpenVPNProfileFilter::filtered(const QByteArray& profile,
                                          QByteArrayList* dropped) const {
    QByteArrayList drops = dropped ? *dropped : QByteArrayList();
    QByteArray output = filteredLines(profile, false, drops);
    // Whether the profile refuses compression is what its kept lines say, as OpenVPN
    // will read them; then its compression lines keep the framing alone.
    if (OpenVPNProfileReader::lastArguments(output, "allow-compression") == Words{"no"}) {
        drops = dropped ? *dropped : QByteArrayList();
        output = filteredLines(profile, true, drops);
    }
    if (dropped)
        *dropped = drops;
    return output;
}

QByteArray OpenVPNProfileFilter::filteredLines(const QByteArray& profile, bool refusesCompression,
                                               QByteArrayList& drops) const {
    OpenVPNProfileReader reader(profile);
    QByteArray output;
    while (!reader.atEnd()) {
        const OpenVPNProfileReader::Line line = reader.nextLine();
        if (line.tooLong) {
            noteDropped(drops, "an over-long line");
            continue;
        }
        const std::optional<Words> words = OpenVPNProfileReader::words(line.text);
        if (!words) {
            noteDropped(drops, "a line OpenVPN cannot read");
            continue;
        }
        if (words->isEmpty())
            continue;
        if (const std::optional<QByteArray> name = OpenVPNProfileReader::inlineBlockName(*words)) {
            // The body is consumed whatever becomes of it: OpenVPN never reads it as
            // directives.
            const std::optional<QByteArray> body = reader.inlineBody(*name);
            if (!body) {
                // OpenVPN would have read the rest as the block's body: no part is a
                // profile of its own.
                output.clear();
                noteDropped(drops, "everything: <" + shown(*name) + "> does not close");
                break;
            }
            std::optional<QByteArray> text;
            if (isPemBlock(*name))
                text = pemText(*body);
            else if (*name == "connection")
                text = connectionBlock(*body, drops);
            if (text)
                output += '<' + *name + ">\n" + *text + "</" + *name + ">\n";
            else
                noteDropped(drops, '<' + shown(*name) + '>');
            continue;
        }
        const Words set =
            safeForm(OpenVPNProfileReader::directiveWords(*words), refusesCompression);
        if (const std::optional<QByteArray> kept = directiveLine(set, false, drops))
            output += *kept + '\n';
    }
    return output;
}

std::optional<QByteArray> OpenVPNProfileFilter::directiveLine(const Words& words, bool inConnection,
                                                              QByteArrayList& dropped) const {
    const Directive* allowed = directive(words[0]);
    if (!allowed || (inConnection && !allowed->inConnection)) {
        noteDropped(dropped, shown(words[0]));
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
        noteDropped(dropped, shown(words[0]) + " with its arguments");
        return std::nullopt;
    }
    return line;
}

// A connection profile keeps its allowed lines, and is kept only when it still names
// a server.
std::optional<QByteArray> OpenVPNProfileFilter::connectionBlock(const QByteArray& body,
                                                                QByteArrayList& dropped) const {
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
        const Words set = OpenVPNProfileReader::directiveWords(*words);
        if (const std::optional<QByteArray> kept = directiveLine(set, true, dropped)) {
            text += *kept + '\n';
            hasRemote = hasRemote || kept->startsWith("remote ");
        }
    }
    if (!hasRemote)
        return std::nullopt;
    return text;
}

QString OpenVPNProfileFilter::clientProfileProblem(const QByteArray& written) {
    OpenVPNProfileReader reader(written);
    QSet<QByteArray> present;
    while (!reader.atEnd()) {
        const std::optional<Words> words = OpenVPNProfileReader::words(reader.nextLine().text);
        if (!words || words->isEmpty())
            continue;
        if (const std::optional<QByteArray> block = OpenVPNProfileReader::inlineBlockName(*words)) {
            const std::optional<QByteArray> body = reader.inlineBody(*block);
            // A <connection> that survived the filter names a server.
            present << (*block == "connection" && body ? QByteArray("remote") : '<' + *block + '>');
            continue;
        }
        present << OpenVPNProfileReader::directiveWords(*words).first();
    }
    if (!present.contains("client") &&
        !(present.contains("tls-client") && present.contains("pull")))
        return QStringLiteral("it is not a client profile (no \"client\")");
    if (!present.contains("remote"))
        return QStringLiteral("it names no server (no \"remote\")");
    if (!present.contains("<ca>") && !present.contains("peer-fingerprint"))
        return QStringLiteral(
            "it has no way to check the server (no <ca>, no \"peer-fingerprint\")");
    return {};
}
