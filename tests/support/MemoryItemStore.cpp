#include "support/MemoryItemStore.h"

namespace {

// An absent access group is the default group, one group like any other.
bool sameIdentity(const QString& service, const QString& group, const QByteArray& account,
                  const ItemStore::Query& query) {
    return service == query.service && group == query.accessGroup.value_or(QString()) &&
           (!query.account || account == *query.account);
}

} // namespace

qsizetype MemoryItemStore::indexOf(const Query& query) const {
    if (!query.account)
        return -1;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items.at(i);
        if (sameIdentity(item.service, item.accessGroup, item.account, query))
            return i;
    }
    return -1;
}

int MemoryItemStore::add(const Query& query, const QByteArray& value) {
    if (!query.account)
        return kItemNotFound;
    if (indexOf(query) >= 0)
        return kDuplicateItem;
    m_items.append({query.service, query.accessGroup.value_or(QString()), *query.account, value,
                    "orvel-item:memory-" + QByteArray::number(m_nextReference++)});
    return kSuccess;
}

int MemoryItemStore::copyValue(const Query& query, QByteArray* value) const {
    const qsizetype index = indexOf(query);
    if (index < 0)
        return kItemNotFound;
    *value = m_items.at(index).value;
    return kSuccess;
}

int MemoryItemStore::copyPersistentReference(const Query& query, QByteArray* reference) const {
    const qsizetype index = indexOf(query);
    if (index < 0)
        return kItemNotFound;
    *reference = m_items.at(index).reference;
    return kSuccess;
}

int MemoryItemStore::update(const Query& query, const QByteArray& value) {
    const qsizetype index = indexOf(query);
    if (index < 0)
        return kItemNotFound;
    m_items[index].value = value;
    return kSuccess;
}

int MemoryItemStore::remove(const Query& query) {
    const qsizetype removed = m_items.removeIf([&query](const Item& item) {
        return sameIdentity(item.service, item.accessGroup, item.account, query);
    });
    return removed > 0 ? kSuccess : kItemNotFound;
}

void MemoryItemStore::removeEverything() {
    m_items.clear();
}

std::optional<QByteArray>
MemoryItemStore::resolvePersistentReference(const QByteArray& reference) const {
    for (const Item& item : m_items) {
        if (item.reference == reference)
            return item.value;
    }
    return std::nullopt;
}
