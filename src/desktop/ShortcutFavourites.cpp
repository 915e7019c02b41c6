#include "desktop/ShortcutFavourites.h"

#include "core/ServerData.h"
#include "desktop/ServerShortcuts.h"

namespace {
// A record's protocol as the shortcuts keep it ("IKEV2" or "OPENVPN").
ServerShortcut shortcutOf(const ServerData& server) {
    return {server.vpnProtocol.toUpper(), server.hostdomain, server.name};
}
} // namespace

ShortcutFavourites::ShortcutFavourites(ServerShortcuts& shortcuts) : m_shortcuts(shortcuts) {}

bool ShortcutFavourites::isFavourite(const ServerData& server) const {
    return m_shortcuts.isFavourite(shortcutOf(server));
}

void ShortcutFavourites::toggleFavourite(const ServerData& server) {
    m_shortcuts.toggleFavourite(shortcutOf(server));
}
