#include "platform/SwanctlConfig.h"

#include "platform/ProcessSwanctlRunner.h"
#include "support/TestEnvironment.h"

#include <QRegularExpression>
#include <gmock/gmock.h>

using testing::HasSubstr;

namespace {

SwanctlConfig config() {
    SwanctlConfig c;
    c.connectionName = QStringLiteral("orvel-ikev2");
    c.serverAddress = QStringLiteral("kr1.vpn.example");
    c.remoteIdentifier = QStringLiteral("kr1.vpn.example");
    c.username = QStringLiteral("alice");
    c.password = QByteArray("s3cret");
    c.remoteTrafficSelector = QStringLiteral("10.201.0.0/24");
    return c;
}

std::string rendered(const SwanctlConfig& c) {
    QString error;
    const std::optional<QString> text = c.render(&error);
    EXPECT_TRUE(text.has_value()) << error.toStdString();
    return text.value_or(QString()).toStdString();
}

} // namespace

TEST(SwanctlConfigTest, Render_EapClientWithCertificateServerAndVirtualIp) {
    const std::string text = rendered(config());
    EXPECT_THAT(text, HasSubstr("remote_addrs = \"kr1.vpn.example\"\n"));
    EXPECT_THAT(text, HasSubstr("vips = 0.0.0.0\n"));
    EXPECT_THAT(text,
                HasSubstr("auth = eap-mschapv2\n      id = \"alice\"\n      eap_id = \"alice\""));
    EXPECT_THAT(text, HasSubstr("auth = pubkey\n      id = \"kr1.vpn.example\""));
    EXPECT_THAT(text, HasSubstr("remote_ts = 10.201.0.0/24\n"));
    EXPECT_THAT(text, HasSubstr("secret = 0s" + QByteArray("s3cret").toBase64().toStdString()));
}

TEST(SwanctlConfigTest, Render_HostilePassword_StaysOneBase64Value) {
    SwanctlConfig c = config();
    const QByteArray hostile("pa\"ss\n} secrets { x { secret = y }\\");
    c.password = hostile;
    const QString text = QString::fromStdString(rendered(c));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("secret = 0s([A-Za-z0-9+/=]+)\n")).match(text);
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(QByteArray::fromBase64(match.captured(1).toLatin1()), hostile);
    EXPECT_EQ(text.count(QStringLiteral("secrets {")), 1);
}

TEST(SwanctlConfigTest, Render_QuotesAndBackslashesInNamesAreEscaped) {
    SwanctlConfig c = config();
    c.username = QStringLiteral("a\"b\\c");
    EXPECT_THAT(rendered(c), HasSubstr("eap_id = \"a\\\"b\\\\c\"\n"));
}

TEST(SwanctlConfigTest, Render_WithoutPassword_HasNoSecretsSection) {
    SwanctlConfig c = config();
    c.password.reset();
    EXPECT_THAT(rendered(c), testing::Not(HasSubstr("secrets")));
}

TEST(SwanctlConfigTest, Render_RefusesControlCharactersAndBadSelectors) {
    const std::function<void(SwanctlConfig&)> breakers[] = {
        [](SwanctlConfig& c) { c.username = QStringLiteral("alice\"\n}"); },
        [](SwanctlConfig& c) { c.serverAddress = QStringLiteral("host\tname"); },
        [](SwanctlConfig& c) { c.remoteIdentifier = QString(); },
        [](SwanctlConfig& c) { c.remoteTrafficSelector = QStringLiteral("0.0.0.0/0 }"); },
    };
    for (const auto& breakIt : breakers) {
        SwanctlConfig c = config();
        breakIt(c);
        QString error;
        EXPECT_FALSE(c.render(&error).has_value());
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(SwanctlConfigTest, Render_AcceptsSelectorListsWithProtocols) {
    SwanctlConfig c = config();
    c.remoteTrafficSelector = QStringLiteral("10.0.0.0/8,fd00::/8[udp/53]");
    EXPECT_THAT(rendered(c), HasSubstr("remote_ts = 10.0.0.0/8,fd00::/8[udp/53]\n"));
}

class SwanctlRunnerTest : public OrvelTest {};

TEST_F(SwanctlRunnerTest, Run_PutsTheWrapperBeforeTheProgram) {
    ProcessSwanctlRunner runner({QStringLiteral("sh"), QStringLiteral("-c"),
                                 QStringLiteral("echo \"$@\"; exit 3"), QStringLiteral("wrap")});
    std::optional<SwanctlRunner::Result> result;
    runner.run({QStringLiteral("--list-sas"), QStringLiteral("--raw")},
               [&result](const SwanctlRunner::Result& r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->exitCode, 3);
    EXPECT_EQ(result->output, QByteArray("swanctl --list-sas --raw\n"));
}

TEST_F(SwanctlRunnerTest, Run_MissingProgram_EndsWithMinusOne) {
    ProcessSwanctlRunner runner({}, tempPath() + QStringLiteral("/no-such-swanctl"));
    std::optional<SwanctlRunner::Result> result;
    runner.run({}, [&result](const SwanctlRunner::Result& r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->exitCode, -1);
}
