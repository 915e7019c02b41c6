#pragma once

#include <QString>
#include <optional>
#include <variant>

// One statement of the two forms the client writes:
//   do shell script "COMMAND"
//   do shell script "COMMAND" user name "U" password "P" with administrator privileges
// Strings take the escapes \" \\ \n \r \t. Anything else is refused.
struct AppleScriptStatement {
    QString command;
    std::optional<QString> userName;
    std::optional<QString> password;
    bool withAdministratorPrivileges = false;

    struct Error {
        QString message;
    };

    static std::variant<AppleScriptStatement, Error> parse(const QString& source);
};
