#pragma once

#include "servers/ServerList.h"

#include <QAbstractTableModel>

class FavouriteServers;

// The servers of one list, one per row, as the selection list shows them. It holds the
// list it was given, so the rows stay what they were until the next setServers.
class ServerTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ServerColumn, ColumnCount };
    // The name is the display role, so typing a name's first letters finds its row.
    // FavouriteRole is a Bool for a server that can be starred, nothing for one that
    // cannot (the automatic entry, or no favourites wired).
    enum Role {
        CountryRole = Qt::UserRole,
        TelecomRole,
        IsActiveRole,
        IsStatusRole,
        FavouriteRole
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setServers(const ServerList& servers);
    std::shared_ptr<ServerData> server(int row) const;
    // The row of the server with this host and name, or -1.
    int rowOf(const ServerData& server) const;
    void setFavourites(FavouriteServers* favourites) { m_favourites = favourites; }
    // Stars or unstars the row's server; false when it has no star.
    bool toggleFavourite(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    ServerList m_servers;
    FavouriteServers* m_favourites = nullptr;
};
