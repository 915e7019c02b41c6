#pragma once

#include <QString>

// What the privileged runner asks about an account before anything runs as root.
class AdminAccounts {
public:
    virtual ~AdminAccounts() = default;

    virtual bool isAdministrator(const QString& userName) const = 0;
    virtual bool checkPassword(const QString& userName, const QString& password) const = 0;
    // The short name of the user this process runs as; "" when unknown.
    virtual QString currentUserName() const = 0;
};
