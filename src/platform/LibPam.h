#pragma once

#include "platform/OnDemandLibrary.h"

#include <security/pam_appl.h>

#define ORVEL_LIBPAM(X) X(pam_start) X(pam_authenticate) X(pam_acct_mgmt) X(pam_end)

// PAM, loaded when a password is first checked.
struct LibPam {
    ORVEL_LIBPAM(ORVEL_ON_DEMAND_MEMBER)
    static const LibPam* load();
};
