#include "platform/NftablesFirewall.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>

namespace {

// A stand-in nft on PATH keeps its arguments and what it read; the real one must never
// load anything into this machine's namespace.
class NftablesFirewallTest : public OrvelTest {
protected:
    NftablesFirewallTest() {
        QFile fake(tempPath() + QStringLiteral("/nft"));
        fake.open(QIODevice::WriteOnly);
        fake.write("#!/bin/sh\nprintf '%s ' \"$@\" > \"$0.args\"\ncat > \"$0.input\"\n"
                   "exit \"${NFT_STATUS:-0}\"\n");
        fake.close();
        fake.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

    NftablesFirewall firewall() {
        return NftablesFirewall(
            [this](const QString& command) {
                statements << command;
                return QStringLiteral("PATH=%1:$PATH; ").arg(tempPath()) + command;
            },
            [](const QString& statement) {
                return QProcess::execute(QStringLiteral("/bin/sh"),
                                         {QStringLiteral("-c"), statement}) == 0;
            });
    }
    QByteArray read(const char* suffix) {
        QFile file(tempPath() + QStringLiteral("/nft") + QLatin1String(suffix));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QStringList statements;
};

TEST_F(NftablesFirewallTest, Load_HandsTheRulesetToNftByteForByte) {
    const QString ruleset = QStringLiteral("table inet orvelvpn { comment \"it's $HOME `id` \\\\ "
                                           "%s\" }\n# second line\n");
    NftablesFirewall nft = firewall();
    const Firewall::Job job = nft.load(ruleset);
    ASSERT_EQ(statements.size(), 1) << "the statement is made with the job, not when it runs";
    EXPECT_TRUE(job());
    EXPECT_EQ(read(".args"), QByteArray("-f - "));
    EXPECT_EQ(read(".input"), ruleset.toUtf8() + '\n');
}

TEST_F(NftablesFirewallTest, RefusedRuleset_IsAFailedLoad) {
    qputenv("NFT_STATUS", "1");
    const bool loaded = firewall().load(QStringLiteral("table inet orvelvpn {}"))();
    qunsetenv("NFT_STATUS");
    EXPECT_FALSE(loaded);
}

} // namespace
