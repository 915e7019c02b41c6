#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Generic-password items, identified by service, account bytes and an optional access
// group. Statuses follow the keychain's: 0 success, -25299 duplicate, -25300 not found.
class ItemStore {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kDuplicateItem = -25299;
    static constexpr int kItemNotFound = -25300;

    struct Query {
        QString service;
        std::optional<QString> accessGroup;
        // Absent: every item of the service (only for remove).
        std::optional<QByteArray> account;
    };

    // One item whole, as it moves from one store to another.
    struct Record {
        Query query;
        QByteArray value;
        QByteArray reference;
    };

    virtual ~ItemStore() = default;

    virtual int add(const Query& query, const QByteArray& value) = 0;
    virtual int copyValue(const Query& query, QByteArray* value) const = 0;
    // Opaque bytes naming one item; stable while the item exists.
    virtual int copyPersistentReference(const Query& query, QByteArray* reference) const = 0;
    virtual int update(const Query& query, const QByteArray& value) = 0;
    virtual int remove(const Query& query) = 0;
    // Every item this store holds, whatever the service.
    virtual void removeEverything() = 0;

    // What the VPN service does with a reference it was handed.
    virtual std::optional<QByteArray>
    resolvePersistentReference(const QByteArray& reference) const = 0;
};
