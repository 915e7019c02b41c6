#pragma once

class ServerData;

// The user's favourite servers as a layer around the client keeps them. The selection
// list stars each server through the one in services(); with none it shows no stars.
class FavouriteServers {
public:
    virtual ~FavouriteServers() = default;

    virtual bool isFavourite(const ServerData& server) const = 0;
    virtual void toggleFavourite(const ServerData& server) = 0;
};
