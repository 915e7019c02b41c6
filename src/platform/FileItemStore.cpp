#include "platform/FileItemStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace {

const QByteArray kReferencePrefix = "orvel-item:";
const QString kItemClass = QStringLiteral("genp");
// Items are small secrets; anything bigger is not ours and is not read.
constexpr qint64 kMaxItemFileSize = 1 << 20;

QString identityHash(const ItemStore::Query& query) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // Each part is length-prefixed so that no two identities hash the same input.
    for (const QByteArray& part :
         {kItemClass.toUtf8(), query.service.toUtf8(),
          query.accessGroup.value_or(QString()).toUtf8(), query.account.value_or(QByteArray())}) {
        hash.addData(QByteArray::number(part.size()) + ':');
        hash.addData(part);
    }
    return QString::fromLatin1(hash.result().toHex());
}

QByteArray newReference(const QString& fileName) {
    quint32 nonce[4];
    QRandomGenerator::system()->fillRange(nonce);
    const QByteArray random(reinterpret_cast<const char*>(nonce), sizeof nonce);
    return kReferencePrefix + fileName.toLatin1() + ':' + random.toHex();
}

QByteArray fromBase64(const QJsonValue& value, bool* ok) {
    const auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    *ok = *ok && value.isString() && decoded.decodingStatus == QByteArray::Base64DecodingStatus::Ok;
    return decoded.decoded;
}

// A reference names a file of the folder only: 64 lowercase hex digits, no path.
bool isFileName(const QByteArray& name) {
    return name.size() == 64 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

} // namespace

FileItemStore::FileItemStore(const QString& folder) : m_folder(folder) {}

QString FileItemStore::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/OrvelVPN/items");
}

bool FileItemStore::ensureFolder() const {
    if (!QDir().mkpath(m_folder))
        return false;
    return QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner);
}

QString FileItemStore::pathFor(const Query& query) const {
    return m_folder + QLatin1Char('/') + identityHash(query);
}

std::optional<FileItemStore::Item> FileItemStore::readItem(const QString& path) const {
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > kMaxItemFileSize ||
        !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject json = document.object();
    if (json.value(QStringLiteral("class")).toString() != kItemClass ||
        !json.value(QStringLiteral("service")).isString() ||
        !json.value(QStringLiteral("accessGroup")).isString())
        return std::nullopt;
    bool ok = true;
    Item item{json.value(QStringLiteral("service")).toString(),
              json.value(QStringLiteral("accessGroup")).toString(),
              fromBase64(json.value(QStringLiteral("account")), &ok),
              fromBase64(json.value(QStringLiteral("value")), &ok),
              json.value(QStringLiteral("reference")).toString().toLatin1()};
    if (!ok || !item.reference.startsWith(kReferencePrefix))
        return std::nullopt;
    return item;
}

std::optional<FileItemStore::Item> FileItemStore::find(const Query& query) const {
    if (!query.account)
        return std::nullopt;
    std::optional<Item> item = readItem(pathFor(query));
    // A file that names another item (planted or damaged) is not this item.
    if (!item || item->service != query.service ||
        item->accessGroup != query.accessGroup.value_or(QString()) ||
        item->account != *query.account)
        return std::nullopt;
    return item;
}

bool FileItemStore::writeItem(const QString& path, const Item& item) const {
    if (!ensureFolder())
        return false;
    QJsonObject json{{QStringLiteral("class"), kItemClass},
                     {QStringLiteral("service"), item.service},
                     {QStringLiteral("accessGroup"), item.accessGroup},
                     {QStringLiteral("account"), QString::fromLatin1(item.account.toBase64())},
                     {QStringLiteral("value"), QString::fromLatin1(item.value.toBase64())},
                     {QStringLiteral("reference"), QString::fromLatin1(item.reference)}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Private before the secret goes in; the rename keeps the mode.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    file.write(QJsonDocument(json).toJson(QJsonDocument::Compact));
    return file.commit();
}

int FileItemStore::add(const Query& query, const QByteArray& value) {
    if (!query.account)
        return kItemNotFound;
    if (find(query))
        return kDuplicateItem;
    const QString path = pathFor(query);
    const Item item{query.service, query.accessGroup.value_or(QString()), *query.account, value,
                    newReference(QFileInfo(path).fileName())};
    return writeItem(path, item) ? kSuccess : kItemNotFound;
}

int FileItemStore::copyValue(const Query& query, QByteArray* value) const {
    const std::optional<Item> item = find(query);
    if (!item)
        return kItemNotFound;
    *value = item->value;
    return kSuccess;
}

int FileItemStore::copyPersistentReference(const Query& query, QByteArray* reference) const {
    const std::optional<Item> item = find(query);
    if (!item)
        return kItemNotFound;
    *reference = item->reference;
    return kSuccess;
}

int FileItemStore::update(const Query& query, const QByteArray& value) {
    std::optional<Item> item = find(query);
    if (!item)
        return kItemNotFound;
    item->value = value;
    return writeItem(pathFor(query), *item) ? kSuccess : kItemNotFound;
}

int FileItemStore::remove(const Query& query) {
    if (query.account)
        return find(query) && QFile::remove(pathFor(query)) ? kSuccess : kItemNotFound;
    bool removed = false;
    const QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QString path = m_folder + QLatin1Char('/') + name;
        const std::optional<Item> item = readItem(path);
        if (item && item->service == query.service &&
            item->accessGroup == query.accessGroup.value_or(QString()))
            removed = QFile::remove(path) || removed;
    }
    return removed ? kSuccess : kItemNotFound;
}

QList<ItemStore::Record> FileItemStore::records() const {
    QList<Record> found;
    const QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (const std::optional<Item> item = readItem(m_folder + QLatin1Char('/') + name))
            found.append(
                {{item->service, item->accessGroup, item->account}, item->value, item->reference});
    }
    return found;
}

void FileItemStore::removeEverything() {
    const QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QString path = m_folder + QLatin1Char('/') + name;
        if (readItem(path))
            QFile::remove(path);
    }
}

std::optional<QByteArray>
FileItemStore::resolvePersistentReference(const QByteArray& reference) const {
    // "orvel-item:<file name>:<nonce>": the nonce tells a re-created item from the old one.
    if (!reference.startsWith(kReferencePrefix))
        return std::nullopt;
    const QList<QByteArray> parts = reference.mid(kReferencePrefix.size()).split(':');
    if (parts.size() != 2 || !isFileName(parts.first()))
        return std::nullopt;
    const std::optional<Item> item =
        readItem(m_folder + QLatin1Char('/') + QString::fromLatin1(parts.first()));
    if (!item || item->reference != reference)
        return std::nullopt;
    return item->value;
}
