#include "tunnel/PrivilegedScript.h"

#include "core/AppState.h"
#include "platform/AppleScriptStatement.h"
#include "support/TestEnvironment.h"

namespace {

AppleScriptStatement parsed(const QString& source) {
    const auto result = AppleScriptStatement::parse(source);
    const auto* statement = std::get_if<AppleScriptStatement>(&result);
    EXPECT_NE(statement, nullptr) << source.toStdString();
    return statement ? *statement : AppleScriptStatement{};
}

} // namespace

class PrivilegedScriptTest : public OrvelTest {};

TEST_F(PrivilegedScriptTest, PlainValues_AreTheFourPiecesJoined) {
    EXPECT_EQ(makePrivilegedScript(QStringLiteral("sudo rm -rf /usr/local/orvel_admin_check.txt"),
                                   QStringLiteral("admin"), QStringLiteral("pw")),
              QStringLiteral("do shell script \"sudo rm -rf /usr/local/orvel_admin_check.txt\" "
                             "user name \"admin\" password \"pw\" with administrator privileges"));
    EXPECT_EQ(makeShellScript(QStringLiteral("mkdir -p /a/b")),
              QStringLiteral("do shell script \"mkdir -p /a/b\""));
}

TEST_F(PrivilegedScriptTest, HostileValues_ComeBackExactlyFromTheStatement) {
    const QStringList values = {QStringLiteral("\"; do shell script \"rm -rf ~"),
                                QStringLiteral("back\\slash\\"), QStringLiteral("$(touch /tmp/x)"),
                                QStringLiteral("line\nbreak\r\ttab"),
                                QStringLiteral("/home/a user/OrvelVPN/")};
    for (const QString& value : values) {
        const AppleScriptStatement statement =
            parsed(makePrivilegedScript(QStringLiteral("cp ") + value, value, value));
        EXPECT_EQ(statement.command, QStringLiteral("cp ") + value);
        EXPECT_EQ(statement.userName, value);
        EXPECT_EQ(statement.password, value);
        EXPECT_TRUE(statement.withAdministratorPrivileges);
        EXPECT_EQ(parsed(makeItemPrivilegedScript(QStringLiteral("ls"), value, value)).passwordItem,
                  value);
        EXPECT_EQ(parsed(makeShellScript(value)).command, value);
    }
}

TEST_F(PrivilegedScriptTest, SharedAdministrator_NamesThePasswordItemAndCarriesNoPassword) {
    appState().adminUserName = QStringLiteral("boss");
    EXPECT_EQ(makePrivilegedScript(QStringLiteral("true")),
              QStringLiteral("do shell script \"true\" user name \"boss\" password of keychain "
                             "item \"userpassword\" with administrator privileges"));
}

TEST_F(PrivilegedScriptTest, ShellQuoted_StaysOneWordForSh) {
    EXPECT_EQ(shellQuoted(QStringLiteral("a b")), QStringLiteral("'a b'"));
    EXPECT_EQ(shellQuoted(QStringLiteral("it's")), QStringLiteral("'it'\\''s'"));
}
