#pragma once

#include <QString>
#include <optional>
#include <variant>

// One statement of the forms the client writes:
//   do shell script "COMMAND"
//   do shell script "COMMAND" user name "U" password "P" with administrator privileges
//   do shell script "COMMAND" user name "U" password of keychain item "K" with administrator
//   privileges (one line; the runner reads the password from the item K when it runs)
// Strings take the escapes \" \\ \n \r \t. Anything else is refused.
struct AppleScriptStatement {
    QString command;
    std::optional<QString> userName;
    // A privileged statement has exactly one of these two.
    std::optional<QString> password;
    std::optional<QString> passwordItem;
    bool withAdministratorPrivileges = false;

    struct Error {
        QString message;
    };

    static std::variant<AppleScriptStatement, Error> parse(const QString& source);
};
