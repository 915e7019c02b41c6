#include "platform/DeferredItemStore.h"

DeferredItemStore::DeferredItemStore(Choice choose)
    : m_choice(std::async(std::launch::async, std::move(choose)).share()) {}

// Waits for the choice: its thread must not outlive what it reads.
DeferredItemStore::~DeferredItemStore() {
    m_choice.wait();
}

ItemStore& DeferredItemStore::chosen() const {
    return *m_choice.get();
}

int DeferredItemStore::add(const Query& query, const QByteArray& value) {
    return chosen().add(query, value);
}

int DeferredItemStore::copyValue(const Query& query, QByteArray* value) const {
    return chosen().copyValue(query, value);
}

int DeferredItemStore::copyPersistentReference(const Query& query, QByteArray* reference) const {
    return chosen().copyPersistentReference(query, reference);
}

int DeferredItemStore::update(const Query& query, const QByteArray& value) {
    return chosen().update(query, value);
}

int DeferredItemStore::remove(const Query& query) {
    return chosen().remove(query);
}

void DeferredItemStore::removeEverything() {
    chosen().removeEverything();
}

std::optional<QByteArray>
DeferredItemStore::resolvePersistentReference(const QByteArray& reference) const {
    return chosen().resolvePersistentReference(reference);
}
