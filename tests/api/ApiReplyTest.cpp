#include "api/ApiReply.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {
ApiReply parsed(const char* body) {
    auto reply = ApiReply::parse(QByteArray(body));
    EXPECT_TRUE(reply.has_value()) << body;
    return reply.value_or(ApiReply());
}
} // namespace

TEST(ApiReplyTest, Parse_BodyThatIsNotJsonIsAFailure) {
    EXPECT_FALSE(ApiReply::parse("<html><body>502 Bad Gateway</body></html>").has_value());
    EXPECT_FALSE(ApiReply::parse("").has_value());
    EXPECT_FALSE(ApiReply::parse("{\"result\": ").has_value());
}

TEST(ApiReplyTest, Parse_BareTopLevelValuesAreAcceptedAndHaveNoMembers) {
    for (const char* body : {"\"200\"", "200", "true", "null", "[1,2]"}) {
        const ApiReply reply = parsed(body);
        EXPECT_EQ(reply.text("result"), QString()) << body;
        EXPECT_TRUE(reply.array("data").isEmpty()) << body;
    }
}

TEST(ApiReplyTest, Text_NumbersReadInDecimalAndOtherTypesReadEmpty) {
    const ApiReply reply =
        parsed(R"({"a":200,"b":"200","c":-7,"d":2.5,"e":true,"f":null,"g":{},"h":[1]})");
    EXPECT_EQ(reply.text("a"), QStringLiteral("200"));
    EXPECT_EQ(reply.text("b"), QStringLiteral("200"));
    EXPECT_EQ(reply.text("c"), QStringLiteral("-7"));
    EXPECT_EQ(reply.text("d"), QStringLiteral("2.5"));
    for (const char* key : {"e", "f", "g", "h", "missing"})
        EXPECT_EQ(reply.text(key), QString()) << key;
}

TEST(ApiReplyTest, Text_KeepsUnicodeAndQuotes) {
    const ApiReply reply = parsed(R"({"name":"서울 \"1\" 東京"})");
    EXPECT_EQ(reply.text("name"), QStringLiteral("서울 \"1\" 東京"));
}

TEST(ApiReplyTest, Integer_OnlyNumbersCount) {
    const ApiReply reply = parsed(R"({"a":9,"b":"9","c":7.9,"d":1e300,"e":false})");
    EXPECT_EQ(reply.integer("a"), 9);
    EXPECT_EQ(reply.integer("b"), 0);
    EXPECT_EQ(reply.integer("c"), 7);
    EXPECT_EQ(reply.integer("d"), 0);
    EXPECT_EQ(reply.integer("e"), 0);
    EXPECT_EQ(reply.integer("missing"), 0);
}

TEST(ApiReplyTest, Boolean_MissingIsFalseAndCommonSpellingsAreRead) {
    const ApiReply reply =
        parsed(R"({"a":true,"b":false,"c":1,"d":0,"e":"true","f":"no","g":null})");
    EXPECT_TRUE(reply.boolean("a"));
    EXPECT_FALSE(reply.boolean("b"));
    EXPECT_TRUE(reply.boolean("c"));
    EXPECT_FALSE(reply.boolean("d"));
    EXPECT_TRUE(reply.boolean("e"));
    EXPECT_FALSE(reply.boolean("f"));
    EXPECT_FALSE(reply.boolean("g"));
    EXPECT_FALSE(reply.boolean("missing"));
}

TEST(ApiReplyTest, Array_ElementsAreLenientRepliesAndNonArraysAreEmpty) {
    const ApiReply reply = parsed(R"({"data":[{"name":"a"},"x",{"name":5}],"other":{"k":1}})");
    const QList<ApiReply> data = reply.array("data");
    ASSERT_EQ(data.size(), 3);
    EXPECT_EQ(data.at(0).text("name"), QStringLiteral("a"));
    EXPECT_EQ(data.at(1).text("name"), QString());
    EXPECT_EQ(data.at(2).text("name"), QStringLiteral("5"));
    EXPECT_TRUE(reply.array("other").isEmpty());
}

TEST(ApiReplyTest, Parse_BodiesBeyondTheFastReaderStillParse) {
    // A byte order mark and an integer beyond 64 bits are read by the JSON library.
    EXPECT_EQ(parsed("\xEF\xBB\xBF{\"result\":\"200\"}").text("result"), QStringLiteral("200"));
    const ApiReply big =
        parsed(R"({"big":123456789012345678901234567890,"small":-9223372036854775809})");
    EXPECT_EQ(big.text("big"), QStringLiteral("1.2345678901234568e+29"));
    EXPECT_EQ(big.integer("big"), 0);
    EXPECT_EQ(big.text("small"), QStringLiteral("-9.2233720368547758e+18"));
    EXPECT_TRUE(big.boolean("small"));
}

// Both readers keep the same bounds: the fast one, and the JSON library behind a byte
// order mark. Brackets inside strings do not nest.
TEST(ApiReplyTest, Parse_NestingBeyondTheBoundIsAFailure) {
    const auto nested = [](int depth) {
        const std::string inner = R"("[{\"[")";
        return std::string(static_cast<size_t>(depth - 1), '[') + "{\"k\":" + inner + "}" +
               std::string(static_cast<size_t>(depth - 1), ']');
    };
    for (const char* prefix : {"", "\xEF\xBB\xBF"}) {
        const QByteArray atBound = prefix + QByteArray::fromStdString(nested(ApiReply::maxDepth));
        const QByteArray beyond =
            prefix + QByteArray::fromStdString(nested(ApiReply::maxDepth + 1));
        EXPECT_TRUE(ApiReply::parse(atBound).has_value()) << std::strlen(prefix);
        EXPECT_FALSE(ApiReply::parse(beyond).has_value()) << std::strlen(prefix);
    }
}

TEST(ApiReplyTest, Parse_BodyBeyondTheSizeBoundIsAFailure) {
    QByteArray body(ApiReply::maxBodyBytes, ' ');
    body.replace(0, 16, R"({"result":"200"})");
    const auto atBound = ApiReply::parse(body);
    ASSERT_TRUE(atBound.has_value());
    EXPECT_EQ(atBound->text("result"), QStringLiteral("200"));
    body.append(' ');
    EXPECT_FALSE(ApiReply::parse(body).has_value());
}

TEST(ApiReplyTest, Parse_BodiesNeitherReaderTakesAreFailures) {
    for (const char* body : {"\"\\ud800\"", "{\"a\":\"\xff\"}", "1e400", "[1,]", "{} x", " "})
        EXPECT_FALSE(ApiReply::parse(body).has_value()) << body;
}

TEST(ApiReplyTest, RepeatedKeys_TheLastOneWins) {
    const ApiReply reply = parsed(R"({"a":1,"data":[{"n":"x","n":"y"}],"a":"two"})");
    EXPECT_EQ(reply.text("a"), QStringLiteral("two"));
    EXPECT_EQ(reply.integer("a"), 0);
    EXPECT_EQ(reply.array("data").at(0).text("n"), QStringLiteral("y"));
    EXPECT_EQ(reply.json().at("a"), "two");
}

TEST(ApiReplyTest, UnsignedBeyondSignedRangeKeepsItsDigits) {
    const ApiReply reply = parsed(R"({"n":18446744073709551615,"m":9223372036854775808})");
    EXPECT_EQ(reply.text("n"), QStringLiteral("18446744073709551615"));
    EXPECT_EQ(reply.text("m"), QStringLiteral("9223372036854775808"));
    EXPECT_TRUE(reply.boolean("n"));
    EXPECT_TRUE(reply.json().at("n").is_number_unsigned());
    EXPECT_EQ(reply.json().at("n").get<quint64>(), std::numeric_limits<quint64>::max());
}

// A parsed body and the same value handed over by the JSON library read alike.
TEST(ApiReplyTest, ParsedAndConstructedRepliesReadAlike) {
    const char* body = R"({"s":"ab","i":-7,"u":9223372036854775808,"z":-0,"d":0.1,"e":1e-400,
        "x":9.3e18,"t":true,"f":false,"one":"1","n":null,"o":{"k":1},"a":[1]})";
    const ApiReply fast = parsed(body);
    const ApiReply tree(nlohmann::json::parse(body));
    for (const char* key :
         {"s", "i", "u", "z", "d", "e", "x", "t", "f", "one", "n", "o", "a", "-"}) {
        EXPECT_EQ(fast.has(key), tree.has(key)) << key;
        EXPECT_EQ(fast.text(key), tree.text(key)) << key;
        EXPECT_EQ(fast.integer(key), tree.integer(key)) << key;
        EXPECT_EQ(fast.boolean(key), tree.boolean(key)) << key;
        EXPECT_EQ(fast.array(key).size(), tree.array(key).size()) << key;
    }
}

TEST(ApiReplyTest, Json_OfParsedValuesEqualsTheJsonLibrarysParse) {
    const char* body = R"({"data":[{"name":"서울","port":1194,"neg":-1,"ratio":2.5,"on":true,
        "none":null,"tags":["a",{"b":[]}]}],"result":"200"})";
    const nlohmann::json expected = nlohmann::json::parse(body);
    const ApiReply reply = parsed(body);
    EXPECT_EQ(reply.json(), expected);
    const QList<ApiReply> data = reply.array("data");
    const nlohmann::json& server = data.at(0).json();
    EXPECT_EQ(server, expected["data"][0]);
    EXPECT_TRUE(server.at("port").is_number_unsigned());
    EXPECT_TRUE(server.at("neg").is_number_integer());
    EXPECT_EQ(&reply.json(), &reply.json()) << "built once";
    EXPECT_TRUE(ApiReply().json().is_null());
}

TEST(ApiReplyTest, Array_ElementsOutliveTheirReply) {
    QList<ApiReply> items;
    {
        const auto reply =
            ApiReply::parse(R"({"data":[{"name":"a","items":[{"k":"x"},{"k":"y"}]}]})");
        ASSERT_TRUE(reply.has_value());
        items = reply->array("data").at(0).array("items");
    }
    // Whatever takes the freed memory must not show through the elements.
    const auto other = ApiReply::parse(R"({"data":[{"name":"b","items":[{"k":"p"},{"k":"q"}]}]})");
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items.at(1).text("k"), QStringLiteral("y"));
    EXPECT_EQ(items.at(0).json(), nlohmann::json({{"k", "x"}}));
    const QList<ApiReply> built = ApiReply(nlohmann::json::parse(R"({"d":[{"k":1}]})")).array("d");
    EXPECT_EQ(built.at(0).integer("k"), 1);
}
