#pragma once

#include "platform/ItemStore.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

// Small values kept as generic-password items, one item per key, readable as bytes or as
// a persistent reference that the VPN service resolves itself.
//
// Numbers and objects are stored as tagged JSON ({"archive":"orvel","type":"int",
// "value":"5"}), which the typed reads decode and a plain string never decodes as.
class KeychainWrapper {
public:
    // The process has no bundle identifier here, so the default service is the fallback name.
    static constexpr const char* kDefaultServiceName = "OrvelKeychain";

    KeychainWrapper(ItemStore& store, QString serviceName,
                    std::optional<QString> accessGroup = std::nullopt);

    // The default instance, over whatever item store services() holds at each call.
    static KeychainWrapper& shared();
    static KeychainWrapper& standard() { return shared(); }

    const QString& serviceName() const { return m_serviceName; }
    const std::optional<QString>& accessGroup() const { return m_accessGroup; }

    bool contains(const QString& key) const;
    std::optional<qint64> readInteger(const QString& key) const;
    std::optional<float> readFloat(const QString& key) const;
    std::optional<double> readDouble(const QString& key) const;
    std::optional<bool> readBool(const QString& key) const;
    std::optional<QString> readString(const QString& key) const;
    std::optional<QVariant> readObject(const QString& key) const;
    std::optional<QByteArray> readData(const QString& key) const;
    std::optional<QByteArray> readPersistentReference(const QString& key) const;

    bool writeInteger(qint64 value, const QString& key);
    bool writeFloat(float value, const QString& key);
    bool writeDouble(double value, const QString& key);
    bool writeBool(bool value, const QString& key);
    bool writeString(const QString& value, const QString& key);
    // Strings, numbers, lists and maps of them.
    bool writeObject(const QVariant& value, const QString& key);
    bool writeData(const QByteArray& value, const QString& key);

    bool removeItem(const QString& key);
    bool removeObject(const QString& key) { return removeItem(key); }
    bool removeAllItems();
    // Every item of the store, whatever its service.
    static void wipeAllItems();

private:
    explicit KeychainWrapper(QString serviceName);

    ItemStore* store() const;
    bool updateItem(const QByteArray& value, const QString& key);
    ItemStore::Query makeItemQuery(const QString& key) const;
    std::optional<QVariant> readNumber(const QString& key) const;

    ItemStore* m_store = nullptr;
    QString m_serviceName;
    std::optional<QString> m_accessGroup;
};
