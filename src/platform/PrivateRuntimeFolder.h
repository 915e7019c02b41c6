#pragma once

#include <QString>

// For files that must hold a secret for a while (OpenVPN's credentials, charon's
// configuration): a 0700 folder in the user's runtime dir (XDG_RUNTIME_DIR), outside the
// home and gone when the session ends. "" when it cannot be made.
QString privateRuntimeFolder();
