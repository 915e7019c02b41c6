#include "keyring/LegacySecrets.h"

#include "core/Services.h"
#include "platform/AppleScriptStatement.h"
#include "platform/FileItemStore.h"
#include "platform/SecretServiceItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/PrivateKeyring.h"
#include "support/TestEnvironment.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/PrivilegedScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class LegacySecretsTest : public OrvelTest {
protected:
    KeychainWrapper& keychain() { return KeychainWrapper::shared(); }
};

TEST_F(LegacySecretsTest, Preferences_PasswordsBecomeItemsOtherKeysStay) {
    preferences().setValue(QStringLiteral("isChecked"), 1);
    preferences().setValue(QStringLiteral("email"), QStringLiteral("a@b.c"));
    preferences().setValue(QStringLiteral("username"), QStringLiteral("admin"));
    preferences().setValue(QStringLiteral("password"), QStringLiteral("acc \"pw\""));
    preferences().setValue(QStringLiteral("userpassword"), QStringLiteral("adm pw"));
    preferences().setValue(QStringLiteral("PASSWORD_KEY"), QStringLiteral("vpn pw"));

    LegacySecrets::movePreferences(preferences(), keychain());

    EXPECT_EQ(keychain().readString(kAccountPasswordItem), QStringLiteral("acc \"pw\""));
    EXPECT_EQ(keychain().readString(kAdminPasswordItem), QStringLiteral("adm pw"));
    for (const char* gone : {"password", "userpassword", "PASSWORD_KEY"})
        EXPECT_FALSE(preferences().contains(QString::fromLatin1(gone))) << gone;
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 1);
    EXPECT_EQ(preferences().string(QStringLiteral("email")), QStringLiteral("a@b.c"));
    EXPECT_EQ(preferences().string(QStringLiteral("username")), QStringLiteral("admin"));
}

TEST_F(LegacySecretsTest, Preferences_SignedOutEmptyPasswordLeavesNoItem) {
    preferences().setValue(QStringLiteral("password"), QString());
    LegacySecrets::movePreferences(preferences(), keychain());
    EXPECT_FALSE(preferences().contains(QStringLiteral("password")));
    EXPECT_FALSE(keychain().contains(kAccountPasswordItem));
}

TEST_F(LegacySecretsTest, Preferences_StoreRefusing_KeepsTheKeysSoNothingIsLost) {
    services().itemStore = nullptr;
    preferences().setValue(QStringLiteral("password"), QStringLiteral("acc"));
    preferences().setValue(QStringLiteral("userpassword"), QStringLiteral("adm"));
    LegacySecrets::movePreferences(preferences(), keychain());
    EXPECT_EQ(preferences().string(QStringLiteral("password")), QStringLiteral("acc"));
    EXPECT_EQ(preferences().string(QStringLiteral("userpassword")), QStringLiteral("adm"));
}

TEST_F(LegacySecretsTest, WorkingFolder_StatementsNameTheItemAndAuthFileIsGone) {
    const QString home = tempPath() + QStringLiteral("/OrvelVPN/");
    const QString stop = QStringLiteral("pgrep openvpn | xargs sudo kill -9");
    EXPECT_TRUE(writeFile(
        home + QStringLiteral("disconnect.scpt"),
        makePrivilegedScript(stop, QStringLiteral("ad\"min"), QStringLiteral("s3cret")).toUtf8()));
    EXPECT_TRUE(writeFile(
        home + QStringLiteral("setWifiDNS.scpt"),
        makePrivilegedScript(QStringLiteral("sudo networksetup -setdnsservers Wi-Fi 8.8.8.8"),
                             QStringLiteral("admin"), QStringLiteral("s3cret"))
            .toUtf8()));
    const QByteArray foreign = "not a statement s3cret";
    EXPECT_TRUE(writeFile(home + QStringLiteral("setEthernetDNS.scpt"), foreign));
    EXPECT_TRUE(writeFile(home + QStringLiteral("auth.txt"), "vpnuser\nvpn-s3cret"));

    LegacySecrets::clearWorkingFolder(home);

    const QString rewritten = QString::fromUtf8(readFile(home + QStringLiteral("disconnect.scpt")));
    EXPECT_EQ(rewritten,
              makeItemPrivilegedScript(stop, QStringLiteral("ad\"min"), kAdminPasswordItem));
    EXPECT_EQ(QFileInfo(home + QStringLiteral("disconnect.scpt")).permissions() & 0x0077, 0);
    EXPECT_FALSE(readFile(home + QStringLiteral("setWifiDNS.scpt")).contains("s3cret"));
    EXPECT_EQ(readFile(home + QStringLiteral("setEthernetDNS.scpt")), foreign);
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("auth.txt")));

    // A second start finds nothing more to do.
    LegacySecrets::clearWorkingFolder(home);
    EXPECT_EQ(QString::fromUtf8(readFile(home + QStringLiteral("disconnect.scpt"))), rewritten);
}

TEST_F(LegacySecretsTest, FileItems_MoveToTheKeyringAndTheirReferencesStillResolve) {
    PrivateKeyring keyring;
    if (!keyring.unavailable().isEmpty())
        GTEST_SKIP() << keyring.unavailable().toStdString();
    FileItemStore files(tempPath() + QStringLiteral("/items"));
    const ItemStore::Query password{QStringLiteral("OrvelKeychain"), std::nullopt,
                                    QByteArray("KEYCHAIN_PASSWORD_KEY")};
    const ItemStore::Query binary{QStringLiteral("OrvelKeychain"), std::nullopt,
                                  QByteArray("\xff\xfe", 2)};
    files.add(password, "vpn-pass");
    files.add(binary, "kept");
    QByteArray reference;
    files.copyPersistentReference(password, &reference);
    SecretServiceItemStore secrets;
    secrets.add(password, "older");

    EXPECT_EQ(LegacySecrets::moveItems(files, secrets), 1);

    QByteArray value;
    ASSERT_EQ(secrets.copyValue(password, &value), ItemStore::kSuccess);
    EXPECT_EQ(value, "vpn-pass");
    EXPECT_EQ(secrets.resolvePersistentReference(reference), QByteArray("vpn-pass"));
    EXPECT_EQ(PrivateKeyring::lookup({QStringLiteral("service"), QStringLiteral("OrvelKeychain"),
                                      QStringLiteral("account"),
                                      QStringLiteral("KEYCHAIN_PASSWORD_KEY")}),
              "vpn-pass");
    // An account the keyring cannot name stays where it was, whole.
    EXPECT_EQ(files.records().size(), 1);
    EXPECT_EQ(files.copyValue(password, &value), ItemStore::kItemNotFound);
    EXPECT_EQ(files.copyValue(binary, &value), ItemStore::kSuccess);
}

} // namespace
