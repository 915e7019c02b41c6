#pragma once

#include "servers/FavouriteServers.h"

class ServerShortcuts;

// The selection list's stars kept as the tray's favourite shortcuts.
class ShortcutFavourites final : public FavouriteServers {
public:
    explicit ShortcutFavourites(ServerShortcuts& shortcuts);

    bool isFavourite(const ServerData& server) const override;
    void toggleFavourite(const ServerData& server) override;

private:
    ServerShortcuts& m_shortcuts;
};
