#include "api/ApiReply.h"

#include <algorithm>
#include <mutex>
#include <simdjson.h>
#include <string_view>
#include <variant>

namespace dom = simdjson::dom;

namespace {
// A value of a body simdjson read; its element points into the shared document.
struct ParsedNode {
    std::shared_ptr<const dom::document> document;
    dom::element element;
};
// A value the JSON library holds: one built by a caller, or a body simdjson refused.
// Elements alias the pointer to their root, which keeps the whole tree alive.
using TreeNode = std::shared_ptr<const nlohmann::json>;

// A member as the lenient accessors see it: missing, of no readable type, or a
// readable one.
struct Unreadable {};
using Field =
    std::variant<std::monostate, Unreadable, std::string_view, int64_t, uint64_t, double, bool>;

// Like the JSON library, the last of repeated keys wins.
std::optional<dom::element> parsedMember(dom::element value, std::string_view key) {
    dom::object object;
    if (value.get(object) != simdjson::SUCCESS)
        return std::nullopt;
    std::optional<dom::element> found;
    for (const dom::key_value_pair field : object) {
        if (field.key == key)
            found = field.value;
    }
    return found;
}

const nlohmann::json* treeMember(const nlohmann::json& value, const char* key) {
    if (!value.is_object())
        return nullptr;
    const auto found = value.find(key);
    return found == value.end() ? nullptr : &*found;
}

Field fieldOf(dom::element value) {
    switch (value.type()) {
    case dom::element_type::STRING:
        return value.get_string().value_unsafe();
    case dom::element_type::INT64:
        return value.get_int64().value_unsafe();
    case dom::element_type::UINT64:
        return value.get_uint64().value_unsafe();
    case dom::element_type::DOUBLE:
        return value.get_double().value_unsafe();
    case dom::element_type::BOOL:
        return Field(std::in_place_type<bool>, value.get_bool().value_unsafe());
    default:
        return Unreadable{};
    }
}

Field fieldOf(const nlohmann::json& value) {
    if (value.is_string())
        return std::string_view(value.get_ref<const std::string&>());
    if (value.is_number_unsigned())
        return value.get<uint64_t>();
    if (value.is_number_integer())
        return value.get<int64_t>();
    if (value.is_number_float())
        return value.get<double>();
    if (value.is_boolean())
        return Field(std::in_place_type<bool>, value.get<bool>());
    return Unreadable{};
}

// Open arrays and objects outside strings never exceed `limit`; the JSON library would
// otherwise build any depth the body holds.
bool nestsWithin(const QByteArray& body, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : body) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

nlohmann::json toJson(dom::element value) {
    switch (value.type()) {
    case dom::element_type::ARRAY: {
        auto out = nlohmann::json::array();
        const dom::array items = value;
        for (const dom::element item : items)
            out.push_back(toJson(item));
        return out;
    }
    case dom::element_type::OBJECT: {
        auto out = nlohmann::json::object();
        const dom::object fields = value;
        for (const dom::key_value_pair field : fields)
            out[std::string(field.key)] = toJson(field.value);
        return out;
    }
    case dom::element_type::INT64: {
        // The JSON library reads a non-negative integer literal as unsigned.
        const int64_t number = value.get_int64().value_unsafe();
        return number >= 0 ? nlohmann::json(static_cast<uint64_t>(number)) : nlohmann::json(number);
    }
    case dom::element_type::UINT64:
        return value.get_uint64().value_unsafe();
    case dom::element_type::DOUBLE:
        return value.get_double().value_unsafe();
    case dom::element_type::STRING:
        return std::string(value.get_string().value_unsafe());
    case dom::element_type::BOOL:
        return value.get_bool().value_unsafe();
    case dom::element_type::NULL_VALUE:
        break;
    }
    return nullptr;
}
} // namespace

struct ApiReply::Value {
    explicit Value(std::variant<ParsedNode, TreeNode> value) : node(std::move(value)) {}

    Field field(const char* key) const {
        if (const auto* parsed = std::get_if<ParsedNode>(&node)) {
            const std::optional<dom::element> member = parsedMember(parsed->element, key);
            return member ? fieldOf(*member) : Field();
        }
        const nlohmann::json* member = treeMember(*std::get<TreeNode>(node), key);
        return member ? fieldOf(*member) : Field();
    }

    std::variant<ParsedNode, TreeNode> node;
    // The JSON library's copy of a parsed value is built on first use: few ask for it.
    mutable std::once_flag converted;
    mutable nlohmann::json json;
};

ApiReply::ApiReply() : ApiReply(nlohmann::json()) {}

ApiReply::ApiReply(nlohmann::json value)
    : m_value(
          std::make_shared<const Value>(std::make_shared<const nlohmann::json>(std::move(value)))) {
}

std::optional<ApiReply> ApiReply::parse(const QByteArray& body) {
    if (body.size() > maxBodyBytes)
        return std::nullopt;
    const auto size = static_cast<size_t>(body.size());
    auto document = std::make_shared<dom::document>();
    dom::parser parser(static_cast<size_t>(maxBodyBytes));
    // simdjson counts the level of a container's values too.
    if (parser.allocate(std::max(size, dom::MINIMAL_DOCUMENT_CAPACITY), maxDepth + 1) !=
        simdjson::SUCCESS)
        return std::nullopt;
    dom::element root;
    const simdjson::error_code error =
        parser.parse_into_document(*document, body.constData(), size).get(root);
    if (error == simdjson::SUCCESS)
        return ApiReply(std::make_shared<const Value>(ParsedNode{std::move(document), root}));
    // simdjson refuses a few bodies the JSON library takes (a byte order mark, integers
    // beyond 64 bits): that library has the last word, within the same nesting bound.
    if (error == simdjson::DEPTH_ERROR || !nestsWithin(body, maxDepth))
        return std::nullopt;
    auto value = nlohmann::json::parse(body.constBegin(), body.constEnd(), nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return ApiReply(std::move(value));
}

bool ApiReply::has(const char* key) const {
    return !std::holds_alternative<std::monostate>(m_value->field(key));
}

QString ApiReply::text(const char* key) const {
    const Field field = m_value->field(key);
    if (const auto* text = std::get_if<std::string_view>(&field))
        return QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()));
    if (const auto* number = std::get_if<int64_t>(&field))
        return QString::number(*number);
    if (const auto* number = std::get_if<uint64_t>(&field))
        return QString::number(*number);
    if (const auto* number = std::get_if<double>(&field))
        return QString::number(*number, 'g', 17);
    return {};
}

qint64 ApiReply::integer(const char* key) const {
    const Field field = m_value->field(key);
    if (const auto* number = std::get_if<int64_t>(&field))
        return *number;
    if (const auto* number = std::get_if<uint64_t>(&field))
        return static_cast<qint64>(*number);
    if (const auto* number = std::get_if<double>(&field)) {
        if (!(*number > -9.2e18 && *number < 9.2e18))
            return 0;
        return static_cast<qint64>(*number);
    }
    return 0;
}

bool ApiReply::boolean(const char* key) const {
    const Field field = m_value->field(key);
    if (const auto* flag = std::get_if<bool>(&field))
        return *flag;
    if (const auto* number = std::get_if<int64_t>(&field))
        return *number != 0;
    if (const auto* number = std::get_if<uint64_t>(&field))
        return *number != 0;
    if (const auto* number = std::get_if<double>(&field))
        return *number != 0.0;
    if (const auto* text = std::get_if<std::string_view>(&field))
        return *text == "true" || *text == "1";
    return false;
}

QList<ApiReply> ApiReply::array(const char* key) const {
    QList<ApiReply> items;
    if (const auto* parsed = std::get_if<ParsedNode>(&m_value->node)) {
        const std::optional<dom::element> member = parsedMember(parsed->element, key);
        dom::array elements;
        if (!member || member->get(elements) != simdjson::SUCCESS)
            return items;
        items.reserve(static_cast<qsizetype>(elements.size()));
        for (const dom::element element : elements)
            items.append(
                ApiReply(std::make_shared<const Value>(ParsedNode{parsed->document, element})));
        return items;
    }
    const TreeNode& tree = std::get<TreeNode>(m_value->node);
    const nlohmann::json* member = treeMember(*tree, key);
    if (!member || !member->is_array())
        return items;
    items.reserve(static_cast<qsizetype>(member->size()));
    for (const nlohmann::json& element : *member)
        items.append(ApiReply(std::make_shared<const Value>(TreeNode(tree, &element))));
    return items;
}

const nlohmann::json& ApiReply::json() const {
    if (const auto* tree = std::get_if<TreeNode>(&m_value->node))
        return **tree;
    std::call_once(m_value->converted, [value = m_value.get()] {
        value->json = toJson(std::get<ParsedNode>(value->node).element);
    });
    return m_value->json;
}
