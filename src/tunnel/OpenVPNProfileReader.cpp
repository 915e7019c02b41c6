#include "tunnel/OpenVPNProfileReader.h"

namespace {

// fgets into OpenVPN's 256-byte line buffer.
constexpr qsizetype kPieceSize = 255;
const QByteArray kByteOrderMark("\xEF\xBB\xBF");

// OpenVPN's blanks: the C locale's isspace, and the NUL that ends its strings.
bool isBlank(char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isPlain(const QByteArray& word) {
    if (word.isEmpty())
        return false;
    for (const char c : word) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && !QByteArray("._-:/@+=,!").contains(c))
            return false;
    }
    return true;
}

} // namespace

OpenVPNProfileReader::OpenVPNProfileReader(QByteArray text) : m_text(std::move(text)) {}

QByteArray OpenVPNProfileReader::nextPiece() {
    const qsizetype lineFeed = m_text.indexOf('\n', m_position);
    qsizetype length = lineFeed < 0 ? m_text.size() - m_position : lineFeed - m_position + 1;
    length = std::min(length, kPieceSize);
    QByteArray piece = m_text.mid(m_position, length);
    m_position += length;
    return piece;
}

OpenVPNProfileReader::Line OpenVPNProfileReader::nextLine() {
    Line line{nextPiece()};
    // A full buffer without its line feed, with more to come: OpenVPN stops there.
    if (line.text.size() == kPieceSize && !line.text.endsWith('\n') && !atEnd()) {
        line.tooLong = true;
        while (!atEnd() && !line.text.endsWith('\n'))
            line.text += nextPiece();
    }
    if (m_firstLine && line.text.startsWith(kByteOrderMark))
        line.text.remove(0, kByteOrderMark.size());
    m_firstLine = false;
    return line;
}

std::optional<QByteArray> OpenVPNProfileReader::inlineBody(const QByteArray& name) {
    const QByteArray closeTag = "</" + name + '>';
    QByteArray body;
    while (!atEnd()) {
        const QByteArray piece = nextPiece();
        qsizetype start = 0;
        while (start < piece.size() && isBlank(piece[start]) && piece[start] != '\0')
            ++start;
        // A prefix is enough: OpenVPN ignores what follows the tag on its line.
        if (piece.mid(start).startsWith(closeTag))
            return body;
        body += piece;
    }
    return std::nullopt;
}

std::optional<QByteArrayList> OpenVPNProfileReader::words(const QByteArray& line) {
    enum class State { Between, Plain, DoubleQuoted, SingleQuoted };
    // OpenVPN reads the line as a C string: a NUL ends it.
    const qsizetype end = line.contains('\0') ? line.indexOf('\0') : line.size();
    QByteArrayList words;
    QByteArray word;
    State state = State::Between;
    bool backslash = false;
    for (qsizetype i = 0; i <= end && words.size() < kMaxWords; ++i) {
        const char in = i < end ? line[i] : '\0';
        if (!backslash && in == '\\' && state != State::SingleQuoted) {
            backslash = true;
            continue;
        }
        char out = '\0';
        bool wordEnds = false;
        switch (state) {
        case State::Between:
            if (isBlank(in))
                break;
            // A comment starts wherever a word would, backslash or not.
            if (in == '#' || in == ';')
                return words;
            if (!backslash && in == '"') {
                state = State::DoubleQuoted;
            } else if (!backslash && in == '\'') {
                state = State::SingleQuoted;
            } else {
                out = in;
                state = State::Plain;
            }
            break;
        case State::Plain:
            wordEnds = !backslash && isBlank(in);
            out = wordEnds ? '\0' : in;
            break;
        case State::DoubleQuoted:
            // A closing quote ends the word even when another glues onto it.
            wordEnds = !backslash && in == '"';
            out = wordEnds ? '\0' : in;
            break;
        case State::SingleQuoted:
            wordEnds = in == '\'';
            out = wordEnds ? '\0' : in;
            break;
        }
        if (wordEnds) {
            words << word;
            word.clear();
            state = State::Between;
        }
        if (backslash && out != '\0' && out != '\\' && out != '"' && !isBlank(out))
            return std::nullopt;
        backslash = false;
        if (out != '\0')
            word += out;
    }
    if (state != State::Between)
        return std::nullopt;
    return words;
}

QByteArray OpenVPNProfileReader::withoutDoubleDash(const QByteArray& name) {
    return name.startsWith("--") ? name.mid(2) : name;
}

std::optional<QByteArray> OpenVPNProfileReader::inlineBlockName(const QByteArrayList& words) {
    if (words.size() != 1)
        return std::nullopt;
    const QByteArray tag = withoutDoubleDash(words[0]);
    if (tag.size() < 2 || !tag.startsWith('<') || !tag.endsWith('>'))
        return std::nullopt;
    return tag.mid(1, tag.size() - 2);
}

QByteArrayList OpenVPNProfileReader::directiveWords(QByteArrayList words) {
    if (words.isEmpty())
        return words;
    words[0] = withoutDoubleDash(words[0]);
    if (words.size() > 2 && words[0] == "setenv" && words[1] == "opt")
        words = words.mid(2);
    return words;
}

std::optional<QByteArrayList> OpenVPNProfileReader::lastArguments(const QByteArray& text,
                                                                  const QByteArray& directive) {
    OpenVPNProfileReader reader(text);
    std::optional<QByteArrayList> arguments;
    while (!reader.atEnd()) {
        const Line line = reader.nextLine();
        const std::optional<QByteArrayList> lineWords = words(line.text);
        if (line.tooLong || !lineWords || lineWords->isEmpty())
            continue;
        if (const std::optional<QByteArray> block = inlineBlockName(*lineWords)) {
            reader.inlineBody(*block);
            continue;
        }
        const QByteArrayList set = directiveWords(*lineWords);
        if (set.first() == directive)
            arguments = set.mid(1);
    }
    return arguments;
}

QByteArray OpenVPNProfileReader::quoted(const QByteArray& word) {
    QByteArray text = "\"";
    for (const char c : word) {
        if (c == '\\' || c == '"')
            text += '\\';
        text += c;
    }
    return text + '"';
}

std::optional<QByteArray> OpenVPNProfileReader::line(const QByteArrayList& words) {
    if (words.isEmpty() || words.size() > kMaxWords)
        return std::nullopt;
    QByteArray text;
    for (const QByteArray& word : words) {
        if (word.contains('\n') || word.contains('\0'))
            return std::nullopt;
        if (!text.isEmpty())
            text += ' ';
        text += isPlain(word) ? word : quoted(word);
    }
    if (text.size() > kMaxLineLength)
        return std::nullopt;
    return text;
}
