#include "tunnel/OpenVPNProfileReader.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

using Words = QByteArrayList;

std::string shown(const std::optional<Words>& words) {
    if (!words)
        return "<refused>";
    std::string text;
    for (const QByteArray& word : *words)
        text += "[" + word.toStdString() + "]";
    return text;
}

// How OpenVPN 2.6.14 split each line, read back from its own "route" and
// "pull-filter" settings output at verb 4, or the error it stopped with.
TEST(OpenVPNProfileReaderTest, Words_SplitAsOpenVPNDoes) {
    const struct {
        QByteArray line;
        std::optional<Words> words;
    } cases[] = {
        {"route a b c d\n", Words{"route", "a", "b", "c", "d"}},
        // A closing quote ends the word, whatever follows it.
        {"\"up\"\"/bin/sh -c x\"\n", Words{"up", "/bin/sh -c x"}},
        {"\"script-security\"2\n", Words{"script-security", "2"}},
        {"route a\"b\" c\n", Words{"route", "a\"b\"", "c"}},
        {"route 'a b'c d\n", Words{"route", "a b", "c", "d"}},
        {"route \"\" ''\n", Words{"route", "", ""}},
        // Backslashes escape a backslash, a double quote or a blank, nothing else;
        // single quotes take them literally.
        {"route a\\ b \\\"c\n", Words{"route", "a b", "\"c"}},
        {"route \"a\\\"b\" \"a\\\\b\" \"a\\ b\"\n", Words{"route", "a\"b", "a\\b", "a b"}},
        {"route 'a\\xb'\n", Words{"route", "a\\xb"}},
        {"route \"a\\xb\"\n", std::nullopt},
        {"route a\\xb\n", std::nullopt},
        {"\\route a\n", std::nullopt},
        {" \\ route a\n", Words{"route", "a"}},
        {"route a\\\n", Words{"route", "a\n"}},
        // Comments start where a word would, even after a backslash.
        {"route a#b c;d\n", Words{"route", "a#b", "c;d"}},
        {"route a #b c\n", Words{"route", "a"}},
        {"route a ;b\n", Words{"route", "a"}},
        {"route a \\#b\n", Words{"route", "a"}},
        {"\\#route a\n", Words{}},
        {"  # x\n", Words{}},
        {"route a\tb\vc\fd\re\n", Words{"route", "a", "b", "c", "d", "e"}},
        {"route \"a\tb\"\n", Words{"route", "a\tb"}},
        {QByteArray("route a\0b c\n", 12), Words{"route", "a"}},
        {"route \"a b\n", std::nullopt},
        {"route 'a b\n", std::nullopt},
        {"ROUTE a\n", Words{"ROUTE", "a"}},
        // Past sixteen words the rest of the line is ignored, open quote and all.
        {"r 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 up \"open\n",
         Words{"r", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14",
               "15"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(OpenVPNProfileReader::words(c.line)), shown(c.words))
            << c.line.toStdString();
}

TEST(OpenVPNProfileReaderTest, Line_IsReadBackAsTheSameWords) {
    const Words samples[] = {
        {"auth-user-pass", "/home/a b/\"q\" #x ;y\\z'/auth.txt"},
        {"verify-x509-name", "CN=a, O=b", "subject"},
        {"pull-filter", "ignore", ""},
        {"remote", "h", "1194", "udp"},
        {"route", "a\tb\rc", "--x", "<ca>"},
    };
    for (const Words& words : samples) {
        const std::optional<QByteArray> line = OpenVPNProfileReader::line(words);
        ASSERT_TRUE(line) << words.join(' ').toStdString();
        EXPECT_EQ(shown(OpenVPNProfileReader::words(*line + '\n')), shown(words));
    }
    EXPECT_EQ(*OpenVPNProfileReader::line({"remote", "h", "1194"}), "remote h 1194");
    EXPECT_FALSE(OpenVPNProfileReader::line({"route", "a\nup x"}));
    EXPECT_FALSE(OpenVPNProfileReader::line({"route", QByteArray(250, 'a')}));
}

TEST(OpenVPNProfileReaderTest, Lines_ByteOrderMarkOnlyFirstAndLengthLimit) {
    const QByteArray bom("\xEF\xBB\xBF");
    const QByteArray longest = QByteArray(OpenVPNProfileReader::kMaxLineLength, 'a') + '\n';
    const QByteArray tooLong = QByteArray(255, 'b') + "\n";
    OpenVPNProfileReader reader(bom + "client\n" + bom + "nobind\n" + longest + tooLong + "x\n" +
                                QByteArray(255, 'c'));

    EXPECT_EQ(reader.nextLine().text, "client\n");
    EXPECT_EQ(reader.nextLine().text, bom + "nobind\n");
    const OpenVPNProfileReader::Line fits = reader.nextLine();
    EXPECT_FALSE(fits.tooLong);
    EXPECT_EQ(fits.text, longest);
    const OpenVPNProfileReader::Line refused = reader.nextLine();
    EXPECT_TRUE(refused.tooLong);
    EXPECT_EQ(refused.text, tooLong);
    EXPECT_EQ(reader.nextLine().text, "x\n");
    // OpenVPN takes a full buffer at the very end of the file.
    EXPECT_FALSE(reader.nextLine().tooLong);
    EXPECT_TRUE(reader.atEnd());
}

TEST(OpenVPNProfileReaderTest, InlineBody_EndsAtALineStartingWithTheExactCloseTag) {
    OpenVPNProfileReader reader("A\n</CA>\n </ca> trailing words\nnext\n<key>\nB\n");
    EXPECT_EQ(OpenVPNProfileReader::inlineBlockName({"<ca>"}), "ca");
    EXPECT_EQ(OpenVPNProfileReader::inlineBlockName({"--<ca>"}), "ca");
    EXPECT_FALSE(OpenVPNProfileReader::inlineBlockName({"<ca>", "x"}));
    EXPECT_FALSE(OpenVPNProfileReader::inlineBlockName({"<"}));

    EXPECT_EQ(reader.inlineBody("ca"), "A\n</CA>\n");
    EXPECT_EQ(reader.nextLine().text, "next\n");
    EXPECT_EQ(reader.nextLine().text, "<key>\n");
    EXPECT_FALSE(reader.inlineBody("key"));
}

} // namespace
