#pragma once

#include "platform/ItemStore.h"

#include <functional>
#include <future>
#include <memory>

// A store chosen on a thread of its own and waited for at its first use. Choosing may ask
// the session bus and load the keyring library, milliseconds that would otherwise hold
// back the first window; nothing asks for a secret that early.
class DeferredItemStore final : public ItemStore {
public:
    using Choice = std::function<std::unique_ptr<ItemStore>()>;

    explicit DeferredItemStore(Choice choose);
    ~DeferredItemStore() override;

    int add(const Query& query, const QByteArray& value) override;
    int copyValue(const Query& query, QByteArray* value) const override;
    int copyPersistentReference(const Query& query, QByteArray* reference) const override;
    int update(const Query& query, const QByteArray& value) override;
    int remove(const Query& query) override;
    void removeEverything() override;
    std::optional<QByteArray>
    resolvePersistentReference(const QByteArray& reference) const override;

private:
    ItemStore& chosen() const;

    std::shared_future<std::unique_ptr<ItemStore>> m_choice;
};
