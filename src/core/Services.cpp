#include "core/Services.h"

Services& services() {
    static Services wired;
    return wired;
}
