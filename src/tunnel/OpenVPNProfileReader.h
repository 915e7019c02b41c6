#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <optional>

// Reads an OpenVPN configuration the way OpenVPN 2.6 itself does, as measured against
// the program: lines as fgets reads them into its 256-byte buffer, a UTF-8 byte-order
// mark skipped on the first line only, words split by its quoting rules, inline
// <name> blocks. What a filter checks with it is what OpenVPN will see.
class OpenVPNProfileReader final {
public:
    // Longest line OpenVPN accepts before its line feed; a longer one stops it.
    static constexpr qsizetype kMaxLineLength = 254;
    // OpenVPN keeps this many words of a line and silently ignores the rest.
    static constexpr qsizetype kMaxWords = 16;

    struct Line {
        QByteArray text; // with its line feed, when it has one
        bool tooLong = false;
    };

    explicit OpenVPNProfileReader(QByteArray text);

    bool atEnd() const { return m_position >= m_text.size(); }
    // The next line; a line OpenVPN would refuse as too long comes whole, flagged.
    Line nextLine();
    // The body of the inline block <name> just read, up to the line that starts
    // (after blanks) with </name>; nothing when the text ends first.
    std::optional<QByteArray> inlineBody(const QByteArray& name);

    // The words OpenVPN sees in a line: nothing when it refuses the line (a quote left
    // open, a backslash before anything but a backslash, a double quote or a blank).
    static std::optional<QByteArrayList> words(const QByteArray& line);
    // "--name" is "name" in a file, as on the command line.
    static QByteArray withoutDoubleDash(const QByteArray& name);
    // The block name when a line's words open an inline block ("<name>" alone).
    static std::optional<QByteArray> inlineBlockName(const QByteArrayList& words);
    // The directive a line's words set: "--name" and "setenv opt name ..." set name.
    static QByteArrayList directiveWords(QByteArrayList words);
    // The arguments of the last line outside inline blocks that sets `directive`; nothing
    // when no line does.
    static std::optional<QByteArrayList> lastArguments(const QByteArray& text,
                                                       const QByteArray& directive);

    // A word in double quotes that OpenVPN reads back unchanged.
    static QByteArray quoted(const QByteArray& word);
    // One line, without its line feed, that OpenVPN reads back as exactly these words
    // (plain words bare, others quoted); nothing when no line can: a line feed or NUL
    // in a word, too many words, too long.
    static std::optional<QByteArray> line(const QByteArrayList& words);

private:
    // One fgets call: up to 255 bytes, ending after a line feed when one comes first.
    QByteArray nextPiece();

    QByteArray m_text;
    qsizetype m_position = 0;
    bool m_firstLine = true;
};
