#include "platform/SwanctlConfig.h"

#include <QRegularExpression>

namespace {

// charon refuses control characters in identities and addresses; refusing them here
// keeps a newline from ending the quoted value and starting a section of its own.
bool printable(const QString& value) {
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

QString quoted(const QString& value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

bool isSelectorList(const QString& value) {
    static const QRegularExpression selectors(
        QStringLiteral("^[0-9A-Fa-f.:/]+(\\[[A-Za-z0-9/%-]+\\])?"
                       "(,[0-9A-Fa-f.:/]+(\\[[A-Za-z0-9/%-]+\\])?)*$"));
    return selectors.match(value).hasMatch();
}

} // namespace

std::optional<QString> SwanctlConfig::render(QString* error) const {
    const std::pair<const char*, const QString*> values[] = {
        {"server address", &serverAddress},
        {"remote identifier", &remoteIdentifier},
        {"user name", &username},
    };
    for (const auto& [what, value] : values) {
        if (value->isEmpty() || !printable(*value)) {
            *error = QStringLiteral("the %1 is empty or holds control characters")
                         .arg(QLatin1String(what));
            return std::nullopt;
        }
    }
    if (!isSelectorList(remoteTrafficSelector)) {
        *error = QStringLiteral("the remote traffic selector is not a subnet list");
        return std::nullopt;
    }
    const QString name = connectionName;
    QString text;
    text += QStringLiteral("connections {\n  %1 {\n    version = 2\n").arg(name);
    text += QStringLiteral("    remote_addrs = %1\n").arg(quoted(serverAddress));
    text += QStringLiteral("    vips = 0.0.0.0\n");
    text += QStringLiteral("    local {\n      auth = eap-mschapv2\n");
    text += QStringLiteral("      id = %1\n      eap_id = %1\n    }\n").arg(quoted(username));
    text += QStringLiteral("    remote {\n      auth = pubkey\n");
    text += QStringLiteral("      id = %1\n    }\n").arg(quoted(remoteIdentifier));
    text += QStringLiteral("    children {\n      %1 {\n        remote_ts = %2\n      }\n    }\n")
                .arg(name, remoteTrafficSelector);
    text += QStringLiteral("  }\n}\n");
    if (password) {
        // Base64 ("0s") carries any byte of the password without quoting rules.
        text += QStringLiteral("secrets {\n  eap-%1 {\n    id = %2\n    secret = 0s%3\n  }\n}\n")
                    .arg(name, quoted(username), QString::fromLatin1(password->toBase64()));
    }
    return text;
}
