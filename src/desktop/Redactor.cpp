#include "desktop/Redactor.h"

#include <QRegularExpression>

namespace {
// Names of fields whose values are secrets: any identifier containing one of these words
// (password, PASSWORD_KEY, csrfmiddlewaretoken, sessionid, Set-Cookie...).
const QString kSecretNames = QStringLiteral(
    R"([\w-]*(?:pass(?:word|wd)?|pw|psk|token|csrf|secret|session|cookie|authorization)[\w-]*)");

const QRegularExpression& assignment() {
    // name = value, name: value, "name": "value", name "value" (AppleScript), name ===> value
    // (our diagnostic lines); the value is a quoted string (with escapes) or a run up to a
    // separator. The arrow comes first: "=" alone would take the rest of it as the value.
    static const QRegularExpression pattern(
        QStringLiteral(
            R"((["']?\b%1["']?\s*(?:[=-]+>[ \t]*|[:=]\s*|\s+(?=")))("(?:[^"\\]|\\.)*"|'[^']*'|[^\s&;,"'}]+))")
            .arg(kSecretNames),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

const QRegularExpression& cookieHeader() {
    static const QRegularExpression pattern(QStringLiteral(R"(\b((?:set-)?cookie:\s*)[^\r\n]*)"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

const QRegularExpression& secretKey() {
    static const QRegularExpression pattern(QStringLiteral("^%1$").arg(kSecretNames),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}
} // namespace

Redactor::Redactor(QStringList knownSecrets) {
    for (QString& secret : knownSecrets) {
        // Very short values would blank out ordinary words.
        if (secret.size() >= 4)
            m_knownSecrets.append(std::move(secret));
    }
    // Longest first, so a secret that contains another goes whole.
    std::sort(m_knownSecrets.begin(), m_knownSecrets.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
}

QString Redactor::redact(QString text) const {
    const QString mark = QLatin1String(kMark);
    for (const QString& secret : m_knownSecrets)
        text.replace(secret, mark);
    text.replace(cookieHeader(), QStringLiteral("\\1") + mark);
    text.replace(assignment(), QStringLiteral("\\1") + mark);
    return text;
}

bool Redactor::isSecretKey(const QString& key) {
    return secretKey().match(key).hasMatch();
}
