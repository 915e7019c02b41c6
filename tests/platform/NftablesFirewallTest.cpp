#include "platform/NftablesFirewall.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>

namespace {

class NftablesFirewallTest : public OrvelTest {
protected:
    NftablesFirewall firewall(bool administrator, bool runs, const QString& folder,
                              const QString& nft = QStringLiteral("/usr/sbin/nft")) {
        return NftablesFirewall(
            [administrator](const QString& command) -> std::optional<QString> {
                if (!administrator)
                    return std::nullopt;
                return QStringLiteral("as root: ") + command;
            },
            [this, runs](const QString& statement) {
                statements << statement;
                QFile file(tempPath() + QStringLiteral("/killswitch.json"));
                if (file.open(QIODevice::ReadOnly))
                    handedOver = file.readAll();
                handedOverMode = QFileInfo(file).permissions();
                return runs;
            },
            folder, nft);
    }

    QStringList statements;
    QByteArray handedOver;
    QFileDevice::Permissions handedOverMode;
};

// However large, the ruleset reaches nft through a private file on its standard input,
// never through the command line; the file goes once nft has read it.
TEST_F(NftablesFirewallTest, Ruleset_GoesOnStandardInputFromAPrivateFile) {
    const QByteArray ruleset = "{\"nftables\": [\"" + QByteArray(256 * 1024, 'x') + "'$(id)\"]}";
    EXPECT_EQ(firewall(true, true, tempPath()).load(ruleset)(), Firewall::Outcome::Loaded);
    ASSERT_EQ(statements.size(), 1);
    EXPECT_EQ(statements[0], QStringLiteral("as root: '/usr/sbin/nft' -j -f - < '") + tempPath() +
                                 QStringLiteral("/killswitch.json'"));
    EXPECT_EQ(handedOver, ruleset);
    EXPECT_EQ(handedOverMode, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_FALSE(QFile::exists(tempPath() + QStringLiteral("/killswitch.json")));
}

TEST_F(NftablesFirewallTest, EachWayItCannotLoad_HasItsOwnOutcome) {
    struct Case {
        const char* name;
        bool administrator;
        bool runs;
        QString folder;
        QString nft;
        Firewall::Outcome expected;
    };
    const QString folder = tempPath();
    const QString nft = QStringLiteral("/usr/sbin/nft");
    const Case cases[] = {
        {"no administrator", false, true, folder, nft, Firewall::Outcome::NoAdministrator},
        {"no nft", true, true, folder, QString(), Firewall::Outcome::NotInstalled},
        {"unwritable folder", true, true, folder + QStringLiteral("/missing"), nft,
         Firewall::Outcome::NotWritten},
        {"refused", true, false, folder, nft, Firewall::Outcome::Refused},
    };
    for (const Case& c : cases) {
        statements.clear();
        EXPECT_EQ(firewall(c.administrator, c.runs, c.folder, c.nft).load("{}")(), c.expected)
            << c.name;
        EXPECT_EQ(statements.size(), c.expected == Firewall::Outcome::Refused ? 1 : 0) << c.name;
    }
}

} // namespace
