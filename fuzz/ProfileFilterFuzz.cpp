// The OpenVPN profile filter on any text, and what it writes checked on its own terms:
// read back by OpenVPN's rules, every line names an allowed directive, no line names a
// file but the auth file, inline blocks hold only PEM text or allowed connection
// lines, and filtering again changes nothing, also after the completion's additions.
#include "tunnel/OpenVPNProfileCompletion.h"
#include "tunnel/OpenVPNProfileFilter.h"
#include "tunnel/OpenVPNProfileReader.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QByteArray kAuthPath = "/home/a b/\"q\" #;\\/OrvelVPN/auth.txt";

// Directives that take a file, a folder, a program or a library, as OpenVPN's manual
// lists them; only the auth file may ever be named.
const QByteArrayList kNamingFiles = {"askpass",
                                     "auth-gen-token-secret",
                                     "auth-user-pass",
                                     "auth-user-pass-verify",
                                     "ca",
                                     "capath",
                                     "cd",
                                     "cert",
                                     "chroot",
                                     "client-config-dir",
                                     "client-connect",
                                     "client-crresponse",
                                     "client-disconnect",
                                     "config",
                                     "crl-verify",
                                     "dev-node",
                                     "dh",
                                     "dns-updown",
                                     "down",
                                     "engine",
                                     "extra-certs",
                                     "http-proxy",
                                     "http-proxy-user-pass",
                                     "ifconfig-pool-persist",
                                     "ipchange",
                                     "iproute",
                                     "key",
                                     "learn-address",
                                     "log",
                                     "log-append",
                                     "management",
                                     "pkcs11-providers",
                                     "pkcs12",
                                     "plugin",
                                     "providers",
                                     "replay-persist",
                                     "route-pre-down",
                                     "route-up",
                                     "secret",
                                     "socks-proxy",
                                     "status",
                                     "tls-auth",
                                     "tls-crypt",
                                     "tls-crypt-v2",
                                     "tls-crypt-v2-verify",
                                     "tls-export-cert",
                                     "tls-verify",
                                     "tmp-dir",
                                     "up",
                                     "verify-hash",
                                     "writepid",
                                     "x509-track"};

[[noreturn]] void fail(const char* what, const QByteArray& line) {
    std::fprintf(stderr, "filtered profile: %s: %s\n", what, line.constData());
    std::abort();
}

void checkDirective(const QByteArrayList& words, const QByteArray& line) {
    if (words.isEmpty())
        fail("a line without a directive", line);
    const QByteArray& name = words[0];
    if (!OpenVPNProfileFilter::isAllowedDirective(name))
        fail("a directive off the allow-list", line);
    if (kNamingFiles.contains(name) &&
        (name != "auth-user-pass" || words != QByteArrayList{name, kAuthPath}))
        fail("a directive naming a file", line);
}

bool isPemLine(const QByteArray& line) {
    static const QRegularExpression pem(
        QStringLiteral("^(-----(BEGIN|END) [A-Za-z0-9 -]+-----|[A-Za-z0-9+/=]+)$"));
    return pem.match(QString::fromLatin1(line)).hasMatch();
}

void checkInlineBody(const QByteArray& name, const QByteArray& body) {
    for (const QByteArray& line : body.split('\n')) {
        if (line.isEmpty())
            continue;
        if (name != "connection") {
            if (!isPemLine(line))
                fail("an inline line that is not PEM", line);
            continue;
        }
        const std::optional<QByteArrayList> words = OpenVPNProfileReader::words(line);
        if (!words)
            fail("an unreadable connection line", line);
        checkDirective(*words, line);
    }
}

void checkWritten(const QByteArray& profile) {
    OpenVPNProfileReader reader(profile);
    while (!reader.atEnd()) {
        const OpenVPNProfileReader::Line line = reader.nextLine();
        if (line.tooLong || !line.text.endsWith('\n'))
            fail("an over-long or unended line", line.text);
        const std::optional<QByteArrayList> words = OpenVPNProfileReader::words(line.text);
        if (!words)
            fail("an unreadable line", line.text);
        if (const std::optional<QByteArray> block = OpenVPNProfileReader::inlineBlockName(*words)) {
            if (!OpenVPNProfileFilter::isAllowedInlineBlock(*block))
                fail("an inline block off the allow-list", line.text);
            const std::optional<QByteArray> body = reader.inlineBody(*block);
            if (!body)
                fail("an unclosed inline block", line.text);
            checkInlineBody(*block, *body);
            continue;
        }
        checkDirective(*words, line.text);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QLoggingCategory::setFilterRules(QStringLiteral("orvel.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const OpenVPNProfileFilter filter(kAuthPath);
    const QByteArray written = filter.filtered(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    checkWritten(written);
    if (filter.filtered(written) != written)
        fail("filtering again changes", written);
    const QByteArray completed = OpenVPNProfileCompletion::completed(written);
    if (filter.filtered(completed) != completed)
        fail("the completion adds what the filter changes", completed);
    OpenVPNProfileFilter::clientProfileProblem(completed);
    return 0;
}
