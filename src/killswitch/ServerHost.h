#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

// A host the rules may name, taken from the service: an address without a scope, or a
// host name (lower case) to look up; never both.
struct ServerHost {
    QHostAddress address;
    QString name;

    // Nothing for text that is neither: an address with a scope id, a link-local address
    // (it needs one), or anything that is not a whole host name. Each is logged.
    static std::optional<ServerHost> parse(const QString& text);
};
