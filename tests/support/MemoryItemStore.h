#pragma once

#include "platform/ItemStore.h"

#include <QList>

// Items kept in memory for the life of the object.
class MemoryItemStore final : public ItemStore {
public:
    int add(const Query& query, const QByteArray& value) override;
    int copyValue(const Query& query, QByteArray* value) const override;
    int copyPersistentReference(const Query& query, QByteArray* reference) const override;
    int update(const Query& query, const QByteArray& value) override;
    int remove(const Query& query) override;
    void removeEverything() override;
    std::optional<QByteArray>
    resolvePersistentReference(const QByteArray& reference) const override;

    int count() const { return m_items.size(); }

private:
    struct Item {
        QString service;
        QString accessGroup;
        QByteArray account;
        QByteArray value;
        QByteArray reference;
    };

    // -1 when no item has exactly this identity.
    qsizetype indexOf(const Query& query) const;

    QList<Item> m_items;
    quint64 m_nextReference = 1;
};
