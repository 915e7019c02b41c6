#pragma once

#include "platform/ItemStore.h"

#include <memory>

// Items in the desktop's keyring (GNOME Keyring, KWallet) through libsecret. Each item
// carries its identity and its persistent reference as attributes; the value is the
// item's secret, so it is kept encrypted by the keyring, never by us.
class SecretServiceItemStore final : public ItemStore {
public:
    SecretServiceItemStore();
    ~SecretServiceItemStore() override;

    // A Secret Service owns its name on the session bus right now. Nothing is started
    // to find out: no bus is autolaunched, no keyring is activated.
    static bool answers();

    int add(const Query& query, const QByteArray& value) override;
    int copyValue(const Query& query, QByteArray* value) const override;
    int copyPersistentReference(const Query& query, QByteArray* reference) const override;
    int update(const Query& query, const QByteArray& value) override;
    int remove(const Query& query) override;
    void removeEverything() override;
    std::optional<QByteArray>
    resolvePersistentReference(const QByteArray& reference) const override;

    // Takes an item over from another store with its reference, so references handed
    // out before still resolve; an item of the same identity is replaced.
    bool adopt(const Record& record);

private:
    struct Found {
        QByteArray value;
        QByteArray reference;
    };

    // Absent when there is no such item, or when *broken says the keyring failed.
    std::optional<Found> find(const Query& query, bool* broken = nullptr) const;
    bool store(const Query& query, const QByteArray& value, const QByteArray& reference);

    // Holds the bus connection libsecret shares, so that it stays the one that does not
    // end the process when the bus goes away.
    struct Bus;
    std::unique_ptr<Bus> m_bus;
};
