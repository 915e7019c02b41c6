#include "platform/AppleScriptStatement.h"

#include <QStringList>

namespace {

// Reads the source from left to right; every step either consumes what it expects or
// leaves an error.
class Reader {
public:
    explicit Reader(const QString& source) : m_source(source) {}

    void skipSpaces() {
        while (m_pos < m_source.size() &&
               (m_source.at(m_pos) == QLatin1Char(' ') || m_source.at(m_pos) == QLatin1Char('\t')))
            ++m_pos;
    }

    // Words are separated by at least one space; the text must follow exactly.
    bool words(QLatin1String text) {
        skipSpaces();
        qsizetype pos = m_pos;
        const QStringList expected = QString(text).split(QLatin1Char(' '));
        for (qsizetype i = 0; i < expected.size(); ++i) {
            if (i > 0) {
                const qsizetype before = pos;
                while (pos < m_source.size() && (m_source.at(pos) == QLatin1Char(' ') ||
                                                 m_source.at(pos) == QLatin1Char('\t')))
                    ++pos;
                if (pos == before)
                    return false;
            }
            if (m_source.mid(pos, expected.at(i).size()) != expected.at(i))
                return false;
            pos += expected.at(i).size();
            const bool wordEnds = pos == m_source.size() || !m_source.at(pos).isLetterOrNumber();
            if (!wordEnds)
                return false;
        }
        m_pos = pos;
        return true;
    }

    std::optional<QString> string() {
        skipSpaces();
        if (m_pos >= m_source.size() || m_source.at(m_pos) != QLatin1Char('"'))
            return std::nullopt;
        QString text;
        for (qsizetype pos = m_pos + 1; pos < m_source.size(); ++pos) {
            const QChar c = m_source.at(pos);
            if (c == QLatin1Char('"')) {
                m_pos = pos + 1;
                return text;
            }
            if (c != QLatin1Char('\\')) {
                text += c;
                continue;
            }
            if (++pos == m_source.size())
                return std::nullopt;
            switch (m_source.at(pos).unicode()) {
            case '"':
                text += QLatin1Char('"');
                break;
            case '\\':
                text += QLatin1Char('\\');
                break;
            case 'n':
                text += QLatin1Char('\n');
                break;
            case 'r':
                text += QLatin1Char('\r');
                break;
            case 't':
                text += QLatin1Char('\t');
                break;
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // Trailing white space (a script file's last line break) is not a second statement.
    bool atEnd() const {
        for (qsizetype pos = m_pos; pos < m_source.size(); ++pos) {
            if (!m_source.at(pos).isSpace())
                return false;
        }
        return true;
    }

private:
    const QString& m_source;
    qsizetype m_pos = 0;
};

using Result = std::variant<AppleScriptStatement, AppleScriptStatement::Error>;

Result refuse(const char* why) {
    return AppleScriptStatement::Error{QString::fromLatin1(why)};
}

} // namespace

Result AppleScriptStatement::parse(const QString& source) {
    Reader reader(source);
    if (!reader.words(QLatin1String("do shell script")))
        return refuse("not a do shell script statement");
    AppleScriptStatement statement;
    const std::optional<QString> command = reader.string();
    if (!command)
        return refuse("the command is not a complete string");
    statement.command = *command;
    if (reader.atEnd())
        return statement;
    if (!reader.words(QLatin1String("user name")))
        return refuse("unexpected text after the command");
    statement.userName = reader.string();
    if (!statement.userName)
        return refuse("the user name is not a complete string");
    if (!reader.words(QLatin1String("password")))
        return refuse("a password must follow the user name");
    if (reader.words(QLatin1String("of keychain item"))) {
        statement.passwordItem = reader.string();
        if (!statement.passwordItem)
            return refuse("the keychain item is not a complete string");
    } else {
        statement.password = reader.string();
        if (!statement.password)
            return refuse("the password is not a complete string");
    }
    if (!reader.words(QLatin1String("with administrator privileges")) || !reader.atEnd())
        return refuse("the statement must end with administrator privileges");
    statement.withAdministratorPrivileges = true;
    return statement;
}
