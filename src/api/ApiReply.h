#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// A service reply read leniently: a missing member, or one of another type, reads as
// "", 0, false or an empty list. Any JSON value is accepted at the top level.
class ApiReply {
public:
    ApiReply() = default;
    explicit ApiReply(nlohmann::json value) : m_value(std::move(value)) {}

    // No value when the body is not JSON: that is a failed reply.
    static std::optional<ApiReply> parse(const QByteArray& body);

    bool has(const char* key) const;
    // Strings as they are, numbers in decimal, anything else "".
    QString text(const char* key) const;
    qint64 integer(const char* key) const;
    // true, a non-zero number, or the text "true"/"1".
    bool boolean(const char* key) const;
    QList<ApiReply> array(const char* key) const;

    const nlohmann::json& json() const { return m_value; }

private:
    const nlohmann::json* member(const char* key) const;

    nlohmann::json m_value;
};
