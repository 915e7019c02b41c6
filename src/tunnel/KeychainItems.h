#pragma once

#include <QString>

// Passwords kept as items of KeychainWrapper::shared() rather than as preferences; each
// item has the name of the preference key that held it before.
inline const QString kAccountPasswordItem = QStringLiteral("password");
inline const QString kAdminPasswordItem = QStringLiteral("userpassword");
