#include "servers/FavouriteServers.h"

namespace {
FavouriteServers*& wiredFavourites() {
    static FavouriteServers* favourites = nullptr;
    return favourites;
}
} // namespace

FavouriteServers* FavouriteServers::wired() {
    return wiredFavourites();
}

void FavouriteServers::wire(FavouriteServers* favourites) {
    wiredFavourites() = favourites;
}
