#include "platform/DeferredItemStore.h"
#include "platform/FileItemStore.h"
#include "platform/SecretServiceItemStore.h"
#include "support/MemoryItemStore.h"
#include "support/PrivateKeyring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

ItemStore::Query item(const QString& service, const QByteArray& account,
                      std::optional<QString> group = std::nullopt) {
    return {service, group, account};
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

enum class Kind { Memory, File, Keyring, Deferred };

std::string nameOf(Kind kind) {
    switch (kind) {
    case Kind::Memory:
        return "Memory";
    case Kind::File:
        return "File";
    case Kind::Deferred:
        return "Deferred";
    case Kind::Keyring:
        break;
    }
    return "Keyring";
}

// Every store keeps the same contract; each case runs against each, the keyring being
// gnome-keyring-daemon on a bus of its own.
class ItemStoreContract : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        switch (GetParam()) {
        case Kind::Memory:
            m_store = std::make_unique<MemoryItemStore>();
            break;
        case Kind::File:
            m_store = std::make_unique<FileItemStore>(m_dir.filePath(QStringLiteral("items")));
            break;
        case Kind::Keyring:
            m_keyring = std::make_unique<PrivateKeyring>();
            if (!m_keyring->unavailable().isEmpty())
                GTEST_SKIP() << m_keyring->unavailable().toStdString();
            m_store = std::make_unique<SecretServiceItemStore>();
            break;
        case Kind::Deferred:
            m_store = std::make_unique<DeferredItemStore>(
                [] { return std::make_unique<MemoryItemStore>(); });
            break;
        }
    }
    void TearDown() override { m_store.reset(); }
    ItemStore& store() { return *m_store; }

    QTemporaryDir m_dir;
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<ItemStore> m_store;
};

} // namespace

TEST_P(ItemStoreContract, AddCopyUpdate_DuplicateIsReportedAndUpdateKeepsReference) {
    const auto query = item(QStringLiteral("svc"), "KEY");
    ASSERT_EQ(store().add(query, "one"), ItemStore::kSuccess);
    EXPECT_EQ(store().add(query, "two"), ItemStore::kDuplicateItem);
    QByteArray value, reference, again;
    ASSERT_EQ(store().copyValue(query, &value), ItemStore::kSuccess);
    EXPECT_EQ(value, "one");
    ASSERT_EQ(store().copyPersistentReference(query, &reference), ItemStore::kSuccess);
    ASSERT_EQ(store().update(query, "two"), ItemStore::kSuccess);
    ASSERT_EQ(store().copyPersistentReference(query, &again), ItemStore::kSuccess);
    EXPECT_EQ(reference, again);
    EXPECT_EQ(store().resolvePersistentReference(reference), QByteArray("two"));
}

TEST_P(ItemStoreContract, Identity_ServiceGroupAndAccountSeparateItems) {
    ASSERT_EQ(store().add(item(QStringLiteral("a"), "K"), "a"), ItemStore::kSuccess);
    ASSERT_EQ(store().add(item(QStringLiteral("b"), "K"), "b"), ItemStore::kSuccess);
    ASSERT_EQ(store().add(item(QStringLiteral("a"), "K", QStringLiteral("g")), "ag"),
              ItemStore::kSuccess);
    ASSERT_EQ(store().add(item(QStringLiteral("a"), "k"), "lower"), ItemStore::kSuccess);
    QByteArray value;
    store().copyValue(item(QStringLiteral("b"), "K"), &value);
    EXPECT_EQ(value, "b");
    store().copyValue(item(QStringLiteral("a"), "K", QStringLiteral("g")), &value);
    EXPECT_EQ(value, "ag");
    store().copyValue(item(QStringLiteral("a"), "k"), &value);
    EXPECT_EQ(value, "lower");
    EXPECT_EQ(store().copyValue(item(QStringLiteral("c"), "K"), &value), ItemStore::kItemNotFound);
}

TEST_P(ItemStoreContract, Remove_OneItemAllOfAServiceAndEverything) {
    store().add(item(QStringLiteral("a"), "1"), "x");
    store().add(item(QStringLiteral("a"), "2"), "x");
    store().add(item(QStringLiteral("b"), "1"), "x");
    EXPECT_EQ(store().remove(item(QStringLiteral("a"), "missing")), ItemStore::kItemNotFound);
    EXPECT_EQ(store().remove(item(QStringLiteral("a"), "1")), ItemStore::kSuccess);
    EXPECT_EQ(store().remove(item(QStringLiteral("a"), "1")), ItemStore::kItemNotFound);
    EXPECT_EQ(store().remove({QStringLiteral("a"), std::nullopt, std::nullopt}),
              ItemStore::kSuccess);
    QByteArray value;
    EXPECT_EQ(store().copyValue(item(QStringLiteral("a"), "2"), &value), ItemStore::kItemNotFound);
    EXPECT_EQ(store().copyValue(item(QStringLiteral("b"), "1"), &value), ItemStore::kSuccess);
    store().removeEverything();
    EXPECT_EQ(store().copyValue(item(QStringLiteral("b"), "1"), &value), ItemStore::kItemNotFound);
}

TEST_P(ItemStoreContract, PersistentReference_DiesWithItemAndIsNotReusedByANewOne) {
    const auto query = item(QStringLiteral("svc"), "KEY");
    store().add(query, "old");
    QByteArray reference, fresh;
    store().copyPersistentReference(query, &reference);
    store().remove(query);
    EXPECT_FALSE(store().resolvePersistentReference(reference).has_value());
    store().add(query, "new");
    store().copyPersistentReference(query, &fresh);
    EXPECT_NE(reference, fresh);
    EXPECT_FALSE(store().resolvePersistentReference(reference).has_value());
    EXPECT_FALSE(store().resolvePersistentReference("orvel-item:../../etc/passwd:00").has_value());
    EXPECT_FALSE(store().resolvePersistentReference(QByteArray()).has_value());
}

INSTANTIATE_TEST_SUITE_P(Stores, ItemStoreContract,
                         ::testing::Values(Kind::Memory, Kind::File, Kind::Keyring, Kind::Deferred),
                         [](const auto& info) { return nameOf(info.param); });

// The first uses may come from several threads at once (the window, a launch job): the
// store is still chosen once, and not on a caller's thread.
TEST(DeferredItemStoreTest, ChoiceRunsOnceOffTheCallersThreads) {
    std::atomic<int> choices = 0;
    std::atomic<bool> onCaller = false;
    const std::thread::id caller = std::this_thread::get_id();
    DeferredItemStore store([&] {
        ++choices;
        onCaller = std::this_thread::get_id() == caller;
        auto memory = std::make_unique<MemoryItemStore>();
        memory->add(item(QStringLiteral("svc"), "A"), "a");
        return memory;
    });
    QByteArray seenByOther, seenHere;
    std::thread other([&] { store.copyValue(item(QStringLiteral("svc"), "A"), &seenByOther); });
    store.copyValue(item(QStringLiteral("svc"), "A"), &seenHere);
    other.join();
    EXPECT_EQ(seenByOther, "a");
    EXPECT_EQ(seenHere, "a");
    EXPECT_EQ(choices, 1);
    EXPECT_FALSE(onCaller);
}

class FileItemStoreTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.filePath(QStringLiteral("data/items")); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
};

TEST_F(FileItemStoreTest, Files_FolderIs0700AndEveryItemFile0600EvenUnderAWideUmask) {
    const mode_t old = ::umask(0);
    FileItemStore store(folder());
    store.add(item(QStringLiteral("svc"), "KEY"), "secret");
    store.update(item(QStringLiteral("svc"), "KEY"), "secret2");
    ::umask(old);
    EXPECT_EQ(modeOf(folder()), mode_t(0700));
    ASSERT_EQ(files().size(), 1);
    EXPECT_EQ(modeOf(folder() + QLatin1Char('/') + files().first()), mode_t(0600));
    EXPECT_FALSE(files().first().contains(QStringLiteral("KEY")));
}

TEST_F(FileItemStoreTest, Items_SurviveANewInstanceAndUpdateReplacesTheFileWhole) {
    const auto query = item(QStringLiteral("svc"), QByteArray("\xff\x00k", 3));
    QByteArray reference;
    {
        FileItemStore store(folder());
        store.add(query, QByteArray(5000, 'a'));
        store.copyPersistentReference(query, &reference);
    }
    FileItemStore store(folder());
    ASSERT_EQ(store.update(query, "b"), ItemStore::kSuccess);
    EXPECT_EQ(store.resolvePersistentReference(reference), QByteArray("b"));
    // Replaced by rename: no leftover temporary, one file with only the new value.
    ASSERT_EQ(files().size(), 1);
    QFile file(folder() + QLatin1Char('/') + files().first());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_LT(file.size(), 1000);
}

TEST_F(FileItemStoreTest, HostileFiles_ReadAsAbsentAndAreReplacedByAnAdd) {
    const auto query = item(QStringLiteral("svc"), "KEY");
    FileItemStore store(folder());
    store.add(query, "real");
    const QString path = folder() + QLatin1Char('/') + files().first();
    QByteArray reference;
    store.copyPersistentReference(query, &reference);
    const QList<QByteArray> hostile = {
        QByteArray(),
        "garbage\x00\xff",
        "[1,2,3]",
        R"({"class":"genp","service":"svc","accessGroup":"","account":"S0VZ","value":"!!!","reference":"orvel-item:x"})",
        R"({"class":"genp","service":"other","accessGroup":"","account":"S0VZ","value":"eA==","reference":"orvel-item:x"})",
        R"({"class":"genp","service":"svc","accessGroup":"","account":"S0VZ","value":"eA==","reference":"x"})",
        R"({"class":"genp","service":5,"accessGroup":"","account":"S0VZ","value":"eA==","reference":"orvel-item:x"})",
    };
    for (const QByteArray& content : hostile) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        QByteArray value;
        EXPECT_EQ(store.copyValue(query, &value), ItemStore::kItemNotFound) << content.constData();
        EXPECT_FALSE(store.resolvePersistentReference(reference).has_value());
    }
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));
    QByteArray value;
    EXPECT_EQ(store.copyValue(query, &value), ItemStore::kItemNotFound);
    QDir(path).removeRecursively();
    QFile(path).open(QIODevice::WriteOnly);
    EXPECT_EQ(store.add(query, "again"), ItemStore::kSuccess);
    EXPECT_EQ(store.copyValue(query, &value), ItemStore::kSuccess);
    EXPECT_EQ(value, "again");
}

TEST_F(FileItemStoreTest, UnwritableFolder_AddFailsWithoutClaimingSuccess) {
    QFile blocker(m_dir.filePath(QStringLiteral("data")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FileItemStore store(folder());
    EXPECT_NE(store.add(item(QStringLiteral("svc"), "KEY"), "x"), ItemStore::kSuccess);
}
