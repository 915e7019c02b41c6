#include "tunnel/OpenVPNProfileCompletion.h"

#include "tunnel/OpenVPNProfileReader.h"

#include <algorithm>

namespace {

QByteArray onlyArgument(const QByteArray& text, const QByteArray& directive) {
    const std::optional<QByteArrayList> arguments =
        OpenVPNProfileReader::lastArguments(text, directive);
    return arguments && arguments->size() == 1 ? arguments->first() : QByteArray();
}

// Nothing when the words make no line OpenVPN reads back (a list grown too long).
QByteArray line(const QByteArrayList& words) {
    const std::optional<QByteArray> text = OpenVPNProfileReader::line(words);
    return text ? *text + '\n' : QByteArray();
}

bool listsCipher(const QByteArray& list, const QByteArray& cipher) {
    const QByteArrayList ciphers = list.split(':');
    return std::any_of(ciphers.begin(), ciphers.end(), [&](const QByteArray& listed) {
        const QByteArray name = listed.startsWith('?') ? listed.mid(1) : listed;
        return name.compare(cipher, Qt::CaseInsensitive) == 0;
    });
}

} // namespace

QByteArray OpenVPNProfileCompletion::completed(const QByteArray& written) {
    QByteArray text = written;
    const QByteArray cipher = onlyArgument(written, "cipher");
    if (!cipher.isEmpty()) {
        QByteArray ciphers = onlyArgument(written, "data-ciphers");
        if (ciphers.isEmpty())
            ciphers = kDefaultDataCiphers;
        if (!listsCipher(ciphers, cipher))
            text += line({"data-ciphers", ciphers + ':' + cipher});
        if (!OpenVPNProfileReader::lastArguments(written, "data-ciphers-fallback"))
            text += line({"data-ciphers-fallback", cipher});
    }
    if (!OpenVPNProfileReader::lastArguments(written, "allow-compression"))
        text += "allow-compression asym\n";
    return text;
}
