#pragma once

#include <QString>

// Who may run commands as root: members of the sudo or admin group, proven by their own
// password through PAM.
class AdminAuthenticator {
public:
    // PAM service; without a file of that name in /etc/pam.d, PAM uses "other", which on
    // Debian includes common-auth and common-account.
    static constexpr const char* kPamService = "orvelvpn";

    static bool isAdministrator(const QString& userName);
    // The password is the user's and the account may log in now. An empty password never
    // passes, whatever pam_unix's nullok would say.
    static bool checkPassword(const QString& userName, const QString& password);
    // The short name of the user this process runs as; "" when unknown.
    static QString currentUserName();
    // The desktop user behind a client run as root: SUDO_USER, PKEXEC_UID or the owner of
    // the login session; "" when none is known.
    static QString desktopUserName();
};
