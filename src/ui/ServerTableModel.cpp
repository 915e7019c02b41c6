#include "ui/ServerTableModel.h"

#include "core/ServerData.h"
#include "servers/FavouriteServers.h"

void ServerTableModel::setServers(const ServerList& servers) {
    beginResetModel();
    m_servers = servers;
    endResetModel();
}

std::shared_ptr<ServerData> ServerTableModel::server(int row) const {
    return row >= 0 && row < m_servers.size() ? m_servers.at(row) : nullptr;
}

int ServerTableModel::rowOf(const ServerData& server) const {
    for (int row = 0; row < m_servers.size(); ++row) {
        const ServerData& candidate = *m_servers.at(row);
        if (candidate.hostdomain == server.hostdomain && candidate.name == server.name)
            return row;
    }
    return -1;
}

bool ServerTableModel::toggleFavourite(int row) {
    const QModelIndex cell = index(row, ServerColumn);
    if (!data(cell, FavouriteRole).isValid())
        return false;
    m_favourites->toggleFavourite(*m_servers.at(row));
    emit dataChanged(cell, cell, {FavouriteRole});
    return true;
}

int ServerTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_servers.size());
}

int ServerTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServerTableModel::data(const QModelIndex& index, int role) const {
    if (index.row() < 0 || index.row() >= m_servers.size() || index.column() != ServerColumn)
        return {};
    const ServerData& record = *m_servers.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return record.name;
    case CountryRole:
        return record.country;
    case TelecomRole:
        return record.telecom;
    case IsActiveRole:
        return record.is_active;
    case IsStatusRole:
        return record.is_status;
    case FavouriteRole:
        if (!m_favourites || record.hostdomain.isEmpty())
            return {};
        return m_favourites->isFavourite(record);
    default:
        return {};
    }
}
