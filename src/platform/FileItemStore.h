#pragma once

#include "platform/ItemStore.h"

// One private folder (0700) holding one private file (0600) per item. The file name is a
// hash of the item's identity; the file holds the identity, the value and the item's
// persistent reference, so a file that does not describe the item asked for is ignored.
class FileItemStore final : public ItemStore {
public:
    explicit FileItemStore(const QString& folder = defaultFolder());

    // The items folder under the user's data dir (XDG_DATA_HOME or ~/.local/share).
    static QString defaultFolder();

    int add(const Query& query, const QByteArray& value) override;
    int copyValue(const Query& query, QByteArray* value) const override;
    int copyPersistentReference(const Query& query, QByteArray* reference) const override;
    int update(const Query& query, const QByteArray& value) override;
    int remove(const Query& query) override;
    void removeEverything() override;
    std::optional<QByteArray>
    resolvePersistentReference(const QByteArray& reference) const override;

    QString folder() const { return m_folder; }
    // Every item the folder holds, for moving them to another store.
    QList<Record> records() const;

private:
    struct Item {
        QString service;
        QString accessGroup;
        QByteArray account;
        QByteArray value;
        QByteArray reference;
    };

    QString pathFor(const Query& query) const;
    std::optional<Item> readItem(const QString& path) const;
    std::optional<Item> find(const Query& query) const;
    bool writeItem(const QString& path, const Item& item) const;
    bool ensureFolder() const;

    QString m_folder;
};
