#include "api/ApiReply.h"

namespace {
QString numberText(const nlohmann::json& value) {
    if (value.is_number_integer())
        return value.is_number_unsigned() ? QString::number(value.get<quint64>())
                                          : QString::number(value.get<qint64>());
    const double number = value.get<double>();
    return QString::number(number, 'g', 17);
}
} // namespace

std::optional<ApiReply> ApiReply::parse(const QByteArray& body) {
    auto value = nlohmann::json::parse(body.constBegin(), body.constEnd(), nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return ApiReply(std::move(value));
}

const nlohmann::json* ApiReply::member(const char* key) const {
    if (!m_value.is_object())
        return nullptr;
    const auto found = m_value.find(key);
    return found == m_value.end() ? nullptr : &*found;
}

bool ApiReply::has(const char* key) const {
    return member(key) != nullptr;
}

QString ApiReply::text(const char* key) const {
    const nlohmann::json* value = member(key);
    if (!value)
        return {};
    if (value->is_string())
        return QString::fromStdString(value->get_ref<const std::string&>());
    if (value->is_number())
        return numberText(*value);
    return {};
}

qint64 ApiReply::integer(const char* key) const {
    const nlohmann::json* value = member(key);
    if (!value || !value->is_number())
        return 0;
    if (value->is_number_integer())
        return value->get<qint64>();
    const double number = value->get<double>();
    if (!(number > -9.2e18 && number < 9.2e18))
        return 0;
    return static_cast<qint64>(number);
}

bool ApiReply::boolean(const char* key) const {
    const nlohmann::json* value = member(key);
    if (!value)
        return false;
    if (value->is_boolean())
        return value->get<bool>();
    if (value->is_number())
        return value->get<double>() != 0.0;
    if (value->is_string()) {
        const std::string& s = value->get_ref<const std::string&>();
        return s == "true" || s == "1";
    }
    return false;
}

QList<ApiReply> ApiReply::array(const char* key) const {
    const nlohmann::json* value = member(key);
    QList<ApiReply> items;
    if (!value || !value->is_array())
        return items;
    items.reserve(static_cast<qsizetype>(value->size()));
    for (const auto& element : *value)
        items.append(ApiReply(element));
    return items;
}
