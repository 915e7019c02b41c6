#pragma once

#include "platform/AdminAccounts.h"
#include "platform/AdminAuthenticator.h"

// The system's answers: group membership and PAM.
class PamAdminAccounts final : public AdminAccounts {
public:
    bool isAdministrator(const QString& userName) const override {
        return AdminAuthenticator::isAdministrator(userName);
    }
    bool checkPassword(const QString& userName, const QString& password) const override {
        return AdminAuthenticator::checkPassword(userName, password);
    }
    QString currentUserName() const override { return AdminAuthenticator::currentUserName(); }

    static const PamAdminAccounts& shared() {
        static const PamAdminAccounts accounts;
        return accounts;
    }
};
