#include "api/ApiReply.h"

#include <gtest/gtest.h>

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
