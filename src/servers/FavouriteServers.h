#pragma once

class ServerData;

// The user's favourite servers as a layer around the client keeps them. The selection
// list stars each server through it; with none wired the list shows no stars.
class FavouriteServers {
public:
    virtual ~FavouriteServers() = default;

    virtual bool isFavourite(const ServerData& server) const = 0;
    virtual void toggleFavourite(const ServerData& server) = 0;

    // The favourites of this run, or none.
    static FavouriteServers* wired();
    static void wire(FavouriteServers* favourites);
};
