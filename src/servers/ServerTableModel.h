#pragma once

#include "servers/ServerList.h"

#include <QAbstractTableModel>

// The servers of one list, one per row, as the selection list shows them. It holds the
// list it was given, so the rows stay what they were until the next setServers.
class ServerTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ServerColumn, ColumnCount };
    // The name is the display role, so typing a name's first letters finds its row.
    enum Role { CountryRole = Qt::UserRole, TelecomRole, IsActiveRole, IsStatusRole };

    using QAbstractTableModel::QAbstractTableModel;

    void setServers(const ServerList& servers);
    std::shared_ptr<ServerData> server(int row) const;
    // The row of the server with this host and name, or -1.
    int rowOf(const ServerData& server) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    ServerList m_servers;
};
