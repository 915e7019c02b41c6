#include "tunnel/KeychainWrapper.h"

#include "core/Services.h"
#include "platform/FileItemStore.h"
#include "support/MemoryItemStore.h"
#include "support/TestEnvironment.h"

#include <QVariantMap>
#include <limits>

class KeychainWrapperTest : public OrvelTest {
protected:
    MemoryItemStore m_store;
    KeychainWrapper m_keychain{m_store, QStringLiteral("A")};
};

TEST_F(KeychainWrapperTest, WriteTwice_OneItemWithTheSecondValueBothTrue) {
    EXPECT_TRUE(m_keychain.writeString(QStringLiteral("first"), QStringLiteral("K")));
    EXPECT_TRUE(m_keychain.writeString(QStringLiteral("second"), QStringLiteral("K")));
    EXPECT_EQ(m_store.count(), 1);
    EXPECT_EQ(m_keychain.readString(QStringLiteral("K")), QStringLiteral("second"));
    EXPECT_EQ(m_keychain.readData(QStringLiteral("K")), QByteArray("second"));
    EXPECT_TRUE(m_keychain.contains(QStringLiteral("K")));
    EXPECT_FALSE(m_keychain.contains(QStringLiteral("k")));
}

TEST_F(KeychainWrapperTest, PersistentReference_AbsentBeforeWriteStableAfterAndResolvable) {
    EXPECT_FALSE(m_keychain.readPersistentReference(QStringLiteral("KEYCHAIN_PASSWORD_KEY")));
    m_keychain.writeString(QStringLiteral("vpn-pw"), QStringLiteral("KEYCHAIN_PASSWORD_KEY"));
    const auto first = m_keychain.readPersistentReference(QStringLiteral("KEYCHAIN_PASSWORD_KEY"));
    ASSERT_TRUE(first.has_value());
    m_keychain.writeString(QStringLiteral("vpn-pw2"), QStringLiteral("KEYCHAIN_PASSWORD_KEY"));
    EXPECT_EQ(m_keychain.readPersistentReference(QStringLiteral("KEYCHAIN_PASSWORD_KEY")), first);
    EXPECT_EQ(m_store.resolvePersistentReference(*first), QByteArray("vpn-pw2"));
}

TEST_F(KeychainWrapperTest, Strings_NonUtf8BytesReadAsAbsentAndLoneSurrogateIsNotWritten) {
    m_keychain.writeData(QByteArray("\xc3\x28\xff", 3), QStringLiteral("bin"));
    EXPECT_FALSE(m_keychain.readString(QStringLiteral("bin")).has_value());
    EXPECT_EQ(m_keychain.readData(QStringLiteral("bin")), QByteArray("\xc3\x28\xff", 3));
    const QString unicode = QStringLiteral("비밀 \"pw\" 密码 \U0001F511");
    EXPECT_TRUE(m_keychain.writeString(unicode, QStringLiteral("u")));
    EXPECT_EQ(m_keychain.readString(QStringLiteral("u")), unicode);
    EXPECT_FALSE(m_keychain.writeString(QString(QChar(0xD800)), QStringLiteral("bad")));
    EXPECT_FALSE(m_keychain.contains(QStringLiteral("bad")));
}

TEST_F(KeychainWrapperTest, Services_AreIsolatedAndRemoveAllOfBLeavesA) {
    KeychainWrapper other(m_store, QStringLiteral("B"));
    m_keychain.writeString(QStringLiteral("a"), QStringLiteral("K"));
    EXPECT_FALSE(other.contains(QStringLiteral("K")));
    EXPECT_FALSE(other.removeAllItems());
    other.writeString(QStringLiteral("b"), QStringLiteral("K"));
    EXPECT_TRUE(other.removeAllItems());
    EXPECT_EQ(m_keychain.readString(QStringLiteral("K")), QStringLiteral("a"));
    KeychainWrapper grouped(m_store, QStringLiteral("A"), QStringLiteral("group"));
    EXPECT_FALSE(grouped.contains(QStringLiteral("K")));
}

TEST_F(KeychainWrapperTest, Remove_MissingKeyIsFalseExistingTrueOnce) {
    EXPECT_FALSE(m_keychain.removeItem(QStringLiteral("none")));
    m_keychain.writeBool(true, QStringLiteral("K"));
    EXPECT_TRUE(m_keychain.removeObject(QStringLiteral("K")));
    EXPECT_FALSE(m_keychain.removeItem(QStringLiteral("K")));
}

TEST_F(KeychainWrapperTest, TypedReads_RoundTripAndRefuseWhatIsNotAnArchivedNumber) {
    const qint64 big = std::numeric_limits<qint64>::max();
    m_keychain.writeInteger(big, QStringLiteral("int"));
    m_keychain.writeDouble(2.5, QStringLiteral("double"));
    m_keychain.writeFloat(1.25f, QStringLiteral("float"));
    m_keychain.writeBool(false, QStringLiteral("bool"));
    m_keychain.writeString(QStringLiteral("5"), QStringLiteral("text"));
    m_keychain.writeObject(QVariantMap{{QStringLiteral("n"), 1}}, QStringLiteral("map"));
    EXPECT_EQ(m_keychain.readInteger(QStringLiteral("int")), big);
    EXPECT_EQ(m_keychain.readDouble(QStringLiteral("double")), 2.5);
    EXPECT_EQ(m_keychain.readInteger(QStringLiteral("double")), 2);
    EXPECT_EQ(m_keychain.readFloat(QStringLiteral("float")), 1.25f);
    EXPECT_EQ(m_keychain.readBool(QStringLiteral("bool")), false);
    EXPECT_FALSE(m_keychain.readInteger(QStringLiteral("text")).has_value());
    EXPECT_FALSE(m_keychain.readObject(QStringLiteral("text")).has_value());
    EXPECT_FALSE(m_keychain.readBool(QStringLiteral("map")).has_value());
    EXPECT_EQ(m_keychain.readObject(QStringLiteral("map"))->toMap().value(QStringLiteral("n")), 1);
    EXPECT_FALSE(m_keychain.readInteger(QStringLiteral("missing")).has_value());
    m_keychain.writeData(R"({"archive":"orvel","type":"int","value":"12x"})",
                         QStringLiteral("forged"));
    EXPECT_FALSE(m_keychain.readInteger(QStringLiteral("forged")).has_value());
}

TEST_F(KeychainWrapperTest, Shared_UsesTheWiredStoreAndWipeClearsEveryService) {
    KeychainWrapper& shared = KeychainWrapper::shared();
    EXPECT_EQ(&shared, &KeychainWrapper::standard());
    EXPECT_EQ(shared.serviceName(), QStringLiteral("OrvelKeychain"));
    services().itemStore = nullptr;
    EXPECT_FALSE(shared.writeString(QStringLiteral("x"), QStringLiteral("K")));
    FileItemStore files(tempPath() + QStringLiteral("/items"));
    services().itemStore = &files;
    EXPECT_TRUE(shared.writeString(QStringLiteral("pw"), QStringLiteral("KEYCHAIN_PSK_KEY")));
    const auto reference = shared.readPersistentReference(QStringLiteral("KEYCHAIN_PSK_KEY"));
    ASSERT_TRUE(reference.has_value());
    EXPECT_EQ(files.resolvePersistentReference(*reference), QByteArray("pw"));
    KeychainWrapper(files, QStringLiteral("other"))
        .writeString(QStringLiteral("o"), QStringLiteral("K"));
    KeychainWrapper::wipeAllItems();
    EXPECT_FALSE(shared.contains(QStringLiteral("KEYCHAIN_PSK_KEY")));
    EXPECT_FALSE(KeychainWrapper(files, QStringLiteral("other")).contains(QStringLiteral("K")));
}
