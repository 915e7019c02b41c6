#include "desktop/ClientControl.h"

bool statusMatches(const ClientControl::Status& status, const QString& protocol,
                   const std::optional<QString>& server) {
    if (status.state != QLatin1String("connected"))
        return false;
    if (!protocol.isEmpty() && status.protocol != protocol)
        return false;
    if (!server || server->isEmpty())
        return true;
    return status.server.compare(*server, Qt::CaseInsensitive) == 0 ||
           status.host.compare(*server, Qt::CaseInsensitive) == 0;
}
