#include "platform/AdminAuthenticator.h"

#include "platform/LibPam.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

int answerPassword(int count, const pam_message** messages, pam_response** responses, void* data) {
    auto* replies = static_cast<pam_response*>(std::calloc(count, sizeof(pam_response)));
    if (!replies)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        // PAM frees the replies; only the hidden prompt gets the password.
        if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF)
            replies[i].resp = ::strdup(static_cast<const char*>(data));
        else if (messages[i]->msg_style == PAM_PROMPT_ECHO_ON)
            replies[i].resp = ::strdup("");
    }
    *responses = replies;
    return PAM_SUCCESS;
}

QList<gid_t> groupsOf(const passwd& user) {
    int count = 32;
    QList<gid_t> groups(count);
    while (::getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0)
        groups.resize(count);
    groups.resize(count);
    return groups;
}

} // namespace

bool AdminAuthenticator::isAdministrator(const QString& userName) {
    const QByteArray name = userName.toUtf8();
    const passwd* user = name.isEmpty() ? nullptr : ::getpwnam(name.constData());
    if (!user)
        return false;
    const QList<gid_t> groups = groupsOf(*user);
    for (const char* adminGroup : {"sudo", "admin"}) {
        if (const group* entry = ::getgrnam(adminGroup); entry && groups.contains(entry->gr_gid))
            return true;
    }
    return false;
}

bool AdminAuthenticator::checkPassword(const QString& userName, const QString& password) {
    if (userName.isEmpty() || password.isEmpty())
        return false;
    const LibPam* pam = LibPam::load();
    if (!pam)
        return false;
    const QByteArray name = userName.toUtf8();
    QByteArray secret = password.toUtf8();
    if (name.contains('\0') || secret.contains('\0'))
        return false;
    pam_conv conversation{answerPassword, secret.data()};
    pam_handle_t* handle = nullptr;
    int status = pam->pam_start(kPamService, name.constData(), &conversation, &handle);
    if (status == PAM_SUCCESS)
        status = pam->pam_authenticate(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (status == PAM_SUCCESS)
        status = pam->pam_acct_mgmt(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    pam->pam_end(handle, status);
    secret.fill('\0');
    return status == PAM_SUCCESS;
}

QString AdminAuthenticator::currentUserName() {
    const passwd* user = ::getpwuid(::geteuid());
    return user ? QString::fromUtf8(user->pw_name) : QString();
}

QString AdminAuthenticator::desktopUserName() {
    QString sudoUser = qEnvironmentVariable("SUDO_USER");
    if (!sudoUser.isEmpty() && sudoUser != QLatin1String("root"))
        return sudoUser;
    bool known = false;
    uid_t uid = qEnvironmentVariable("PKEXEC_UID").toUInt(&known);
    if (!known) {
        // The login session's owner, which su and sudo keep.
        QFile loginUid(QStringLiteral("/proc/self/loginuid"));
        if (loginUid.open(QIODevice::ReadOnly))
            uid = QString::fromLatin1(loginUid.readAll()).trimmed().toUInt(&known);
    }
    if (!known || uid == 0 || uid == static_cast<uid_t>(-1))
        return {};
    const passwd* user = ::getpwuid(uid);
    return user ? QString::fromUtf8(user->pw_name) : QString();
}
