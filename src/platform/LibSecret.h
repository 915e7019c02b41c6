#pragma once

#include "platform/OnDemandLibrary.h"

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

// libsecret with the GIO and GObject calls made next to it (they come with it).
// clang-format off
#define ORVEL_LIBSECRET(X) \
    X(secret_password_searchv_sync) \
    X(secret_password_storev_binary_sync) \
    X(secret_password_clearv_sync) \
    X(secret_retrievable_retrieve_secret_sync) \
    X(secret_retrievable_get_attributes) \
    X(secret_value_new) \
    X(secret_value_get) \
    X(secret_value_unref) \
    X(secret_service_disconnect) \
    X(g_bus_get_sync) \
    X(g_dbus_connection_set_exit_on_close) \
    X(g_dbus_connection_call_sync) \
    X(g_object_unref)
// clang-format on

// Loaded when the keyring is first asked.
struct LibSecret {
    ORVEL_LIBSECRET(ORVEL_ON_DEMAND_MEMBER)
    static const LibSecret* load();
};
