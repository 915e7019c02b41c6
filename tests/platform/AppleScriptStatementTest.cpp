#include "platform/AppleScriptStatement.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

AppleScriptStatement parsed(const QString& source) {
    const auto result = AppleScriptStatement::parse(source);
    const auto* statement = std::get_if<AppleScriptStatement>(&result);
    EXPECT_NE(statement, nullptr) << source.toStdString();
    return statement ? *statement : AppleScriptStatement{};
}

bool refused(const QString& source) {
    return std::holds_alternative<AppleScriptStatement::Error>(AppleScriptStatement::parse(source));
}

} // namespace

TEST(AppleScriptStatementTest, PlainForm_GivesTheCommandWithoutCredentials) {
    const AppleScriptStatement statement =
        parsed(QStringLiteral("do shell script \"mkdir -p /x\""));
    EXPECT_EQ(statement.command, QStringLiteral("mkdir -p /x"));
    EXPECT_FALSE(statement.userName.has_value());
    EXPECT_FALSE(statement.password.has_value());
    EXPECT_FALSE(statement.withAdministratorPrivileges);
    EXPECT_EQ(parsed(QStringLiteral("do shell script \"\"\n")).command, QString());
}

TEST(AppleScriptStatementTest, PrivilegedForm_GivesUserAndPasswordWithEscapesDecoded) {
    const AppleScriptStatement statement = parsed(QStringLiteral(
        R"s(do shell script "echo \"a\\b\"\t" user name "jo" password "p\"w\\\n\r$(x)" with administrator privileges)s"));
    EXPECT_EQ(statement.command, QStringLiteral("echo \"a\\b\"\t"));
    EXPECT_EQ(statement.userName, QStringLiteral("jo"));
    EXPECT_EQ(statement.password, QStringLiteral("p\"w\\\n\r$(x)"));
    EXPECT_TRUE(statement.withAdministratorPrivileges);
}

TEST(AppleScriptStatementTest, ItemForm_NamesThePasswordItemInsteadOfAPassword) {
    const AppleScriptStatement statement = parsed(QStringLiteral(
        R"s(do shell script "ls" user name "jo" password of keychain item "user\"pw" with administrator privileges)s"));
    EXPECT_EQ(statement.userName, QStringLiteral("jo"));
    EXPECT_FALSE(statement.password.has_value());
    EXPECT_EQ(statement.passwordItem, QStringLiteral("user\"pw"));
    EXPECT_TRUE(statement.withAdministratorPrivileges);
}

TEST(AppleScriptStatementTest, Malformed_AreRefused) {
    const QStringList sources = {
        QString(),
        QStringLiteral("do shell script"),
        QStringLiteral("do shell script 'ls'"),
        QStringLiteral("do shell script \"ls"),
        QStringLiteral("do shell script \"ls\\\""),
        QStringLiteral("do shell script \"a\\qb\""),
        QStringLiteral("do shellscript \"ls\""),
        QStringLiteral("do shell scripts \"ls\""),
        QStringLiteral("tell app \"Finder\" to do shell script \"ls\""),
        QStringLiteral("do shell script \"ls\" & \"; rm -rf /\""),
        QStringLiteral("do shell script \"ls\"\ndo shell script \"rm -rf /x\""),
        QStringLiteral("do shell script \"ls\" user name \"u\" with administrator privileges"),
        QStringLiteral("do shell script \"ls\" user name \"u\" password \"p\""),
        QStringLiteral("do shell script \"ls\" with administrator privileges"),
        QStringLiteral("do shell script \"ls\" password \"p\" user name \"u\" with administrator "
                       "privileges"),
        QStringLiteral("do shell script \"ls\" user name \"u\" password \"p\" with administrator "
                       "privileges \"x\""),
        QStringLiteral("do shell script \"ls\" user name \"u\" password \"p\" with administrator "
                       "privilegesX"),
        QStringLiteral("do shell script \"ls\" user name \"u\" password of keychain item with "
                       "administrator privileges"),
        QStringLiteral("do shell script \"ls\" user name \"u\" password of item \"k\" with "
                       "administrator privileges"),
        QStringLiteral("do shell script \"ls\" user name \"u\" password \"p\" of keychain item "
                       "\"k\" with administrator privileges"),
    };
    for (const QString& source : sources)
        EXPECT_TRUE(refused(source)) << source.toStdString();
}
