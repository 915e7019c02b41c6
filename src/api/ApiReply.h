#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

// A service reply read leniently: a missing member, or one of another type, reads as
// "", 0, false or an empty list. Any JSON value is accepted at the top level.
class ApiReply {
public:
    // Bounds of a body worth reading: a 5,000-server list is about 1.5 MB (7.7 MB with a CA
    // certificate in every configuration) and nests three levels deep. A body beyond either
    // is not the service's answer but a failed reply.
    static constexpr qsizetype maxBodyBytes = qsizetype(16) << 20;
    static constexpr int maxDepth = 64;

    ApiReply();
    explicit ApiReply(nlohmann::json value);

    // No value when the body is not JSON or is out of bounds: that is a failed reply.
    static std::optional<ApiReply> parse(const QByteArray& body);

    bool has(const char* key) const;
    // Strings as they are, numbers in decimal, anything else "".
    QString text(const char* key) const;
    qint64 integer(const char* key) const;
    // true, a non-zero number, or the text "true"/"1".
    bool boolean(const char* key) const;
    QList<ApiReply> array(const char* key) const;

    const nlohmann::json& json() const;

private:
    struct Value;
    explicit ApiReply(std::shared_ptr<const Value> value) : m_value(std::move(value)) {}

    // Replies never change once read: copies and the elements of array() share one
    // parsed body instead of copying its values (a server list holds thousands).
    std::shared_ptr<const Value> m_value;
};
