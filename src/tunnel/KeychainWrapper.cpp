#include "tunnel/KeychainWrapper.h"

#include "core/Services.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <cmath>

namespace {

const QString kArchiveTag = QStringLiteral("orvel");

QByteArray archive(const QString& type, const QJsonValue& value) {
    const QJsonObject json{{QStringLiteral("archive"), kArchiveTag},
                           {QStringLiteral("type"), type},
                           {QStringLiteral("value"), value}};
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

std::optional<QVariant> unarchive(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject json = document.object();
    if (error.error != QJsonParseError::NoError || json.size() != 3 ||
        json.value(QStringLiteral("archive")).toString() != kArchiveTag)
        return std::nullopt;
    const QString type = json.value(QStringLiteral("type")).toString();
    const QJsonValue value = json.value(QStringLiteral("value"));
    if (type == QLatin1String("int") && value.isString()) {
        // Kept as text: a JSON number would lose integers beyond 2^53.
        bool ok = false;
        const qint64 number = value.toString().toLongLong(&ok);
        return ok ? std::optional<QVariant>(number) : std::nullopt;
    }
    if ((type == QLatin1String("float") || type == QLatin1String("double")) && value.isDouble())
        return type == QLatin1String("float") ? QVariant(float(value.toDouble()))
                                              : QVariant(value.toDouble());
    if (type == QLatin1String("bool") && value.isBool())
        return QVariant(value.toBool());
    if (type == QLatin1String("object"))
        return value.toVariant();
    return std::nullopt;
}

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

bool hasUtf8Form(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false;
    }
    return true;
}

} // namespace

KeychainWrapper::KeychainWrapper(ItemStore& store, QString serviceName,
                                 std::optional<QString> accessGroup)
    : m_store(&store), m_serviceName(std::move(serviceName)),
      m_accessGroup(std::move(accessGroup)) {}

KeychainWrapper::KeychainWrapper(QString serviceName) : m_serviceName(std::move(serviceName)) {}

KeychainWrapper& KeychainWrapper::shared() {
    static KeychainWrapper instance{QString::fromLatin1(kDefaultServiceName)};
    return instance;
}

ItemStore* KeychainWrapper::store() const {
    return m_store ? m_store : services().itemStore;
}

ItemStore::Query KeychainWrapper::makeItemQuery(const QString& key) const {
    return {m_serviceName, m_accessGroup, key.toUtf8()};
}

bool KeychainWrapper::contains(const QString& key) const {
    return readData(key).has_value();
}

std::optional<QVariant> KeychainWrapper::readNumber(const QString& key) const {
    const std::optional<QVariant> object = readObject(key);
    if (!object || !isNumber(*object))
        return std::nullopt;
    return object;
}

std::optional<qint64> KeychainWrapper::readInteger(const QString& key) const {
    const std::optional<QVariant> number = readNumber(key);
    if (!number)
        return std::nullopt;
    if (number->typeId() != QMetaType::Double && number->typeId() != QMetaType::Float)
        return number->toLongLong();
    // Like a platform number's integer value: toward zero, not rounded.
    const double value = number->toDouble();
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18)
        return std::nullopt;
    return static_cast<qint64>(value);
}

std::optional<float> KeychainWrapper::readFloat(const QString& key) const {
    const std::optional<QVariant> number = readNumber(key);
    return number ? std::optional<float>(number->toFloat()) : std::nullopt;
}

std::optional<double> KeychainWrapper::readDouble(const QString& key) const {
    const std::optional<QVariant> number = readNumber(key);
    return number ? std::optional<double>(number->toDouble()) : std::nullopt;
}

std::optional<bool> KeychainWrapper::readBool(const QString& key) const {
    const std::optional<QVariant> number = readNumber(key);
    return number ? std::optional<bool>(number->toBool()) : std::nullopt;
}

std::optional<QString> KeychainWrapper::readString(const QString& key) const {
    const std::optional<QByteArray> data = readData(key);
    if (!data)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(*data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QVariant> KeychainWrapper::readObject(const QString& key) const {
    const std::optional<QByteArray> data = readData(key);
    return data ? unarchive(*data) : std::nullopt;
}

std::optional<QByteArray> KeychainWrapper::readData(const QString& key) const {
    QByteArray value;
    if (!store() || store()->copyValue(makeItemQuery(key), &value) != ItemStore::kSuccess)
        return std::nullopt;
    return value;
}

std::optional<QByteArray> KeychainWrapper::readPersistentReference(const QString& key) const {
    QByteArray reference;
    if (!store() ||
        store()->copyPersistentReference(makeItemQuery(key), &reference) != ItemStore::kSuccess)
        return std::nullopt;
    return reference;
}

bool KeychainWrapper::writeInteger(qint64 value, const QString& key) {
    return writeData(archive(QStringLiteral("int"), QString::number(value)), key);
}

bool KeychainWrapper::writeFloat(float value, const QString& key) {
    return writeData(archive(QStringLiteral("float"), double(value)), key);
}

bool KeychainWrapper::writeDouble(double value, const QString& key) {
    return writeData(archive(QStringLiteral("double"), value), key);
}

bool KeychainWrapper::writeBool(bool value, const QString& key) {
    return writeData(archive(QStringLiteral("bool"), value), key);
}

bool KeychainWrapper::writeString(const QString& value, const QString& key) {
    if (!hasUtf8Form(value))
        return false;
    return writeData(value.toUtf8(), key);
}

bool KeychainWrapper::writeObject(const QVariant& value, const QString& key) {
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isUndefined() || (json.isNull() && !value.isNull()))
        return false;
    return writeData(archive(QStringLiteral("object"), json), key);
}

bool KeychainWrapper::writeData(const QByteArray& value, const QString& key) {
    if (!store())
        return false;
    const int status = store()->add(makeItemQuery(key), value);
    if (status == ItemStore::kDuplicateItem)
        return updateItem(value, key);
    return status == ItemStore::kSuccess;
}

bool KeychainWrapper::updateItem(const QByteArray& value, const QString& key) {
    return store()->update(makeItemQuery(key), value) == ItemStore::kSuccess;
}

bool KeychainWrapper::removeItem(const QString& key) {
    return store() && store()->remove(makeItemQuery(key)) == ItemStore::kSuccess;
}

bool KeychainWrapper::removeAllItems() {
    return store() &&
           store()->remove({m_serviceName, m_accessGroup, std::nullopt}) == ItemStore::kSuccess;
}

void KeychainWrapper::wipeAllItems() {
    if (ItemStore* items = services().itemStore)
        items->removeEverything();
}
