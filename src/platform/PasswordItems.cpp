#include "platform/PasswordItems.h"

#include "platform/AppleScriptStatement.h"
#include "platform/ItemStore.h"

#include <QStringDecoder>

PasswordItems::PasswordItems(const ItemStore& items, QString service)
    : m_items(&items), m_service(std::move(service)) {}

std::optional<QString> PasswordItems::passwordOf(const AppleScriptStatement& statement) const {
    if (!statement.passwordItem)
        return statement.password;
    QByteArray value;
    if (!m_items || m_items->copyValue({m_service, std::nullopt, statement.passwordItem->toUtf8()},
                                       &value) != ItemStore::kSuccess)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(value);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
