#include "desktop/ServerShortcuts.h"

#include "platform/Preferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {
const QString kFavourites = QStringLiteral("favourite_servers");
const QString kRecent = QStringLiteral("recent_servers");
} // namespace

ServerShortcuts::ServerShortcuts(Preferences& preferences, QObject* parent)
    : QObject(parent), m_preferences(preferences) {}

QList<ServerShortcut> ServerShortcuts::favourites() const {
    if (!m_favourites)
        m_favourites = read(kFavourites);
    return *m_favourites;
}

QList<ServerShortcut> ServerShortcuts::recent() const {
    return read(kRecent);
}

bool ServerShortcuts::isFavourite(const ServerShortcut& server) const {
    const QList<ServerShortcut> all = favourites();
    return std::any_of(all.begin(), all.end(),
                       [&](const ServerShortcut& kept) { return kept.sameServer(server); });
}

void ServerShortcuts::toggleFavourite(const ServerShortcut& server) {
    QList<ServerShortcut> all = favourites();
    const auto removed =
        all.removeIf([&](const ServerShortcut& kept) { return kept.sameServer(server); });
    if (removed == 0)
        all.append(server);
    write(kFavourites, all);
    m_favourites = all;
    emit favouritesChanged();
}

void ServerShortcuts::recordUsed(const ServerShortcut& server) {
    if (server.hostdomain.isEmpty())
        return;
    QList<ServerShortcut> all = recent();
    all.removeIf([&](const ServerShortcut& kept) { return kept.sameServer(server); });
    all.prepend(server);
    write(kRecent, all.mid(0, kRecentCount));
    emit recentChanged();
}

// Kept as one JSON text: names may hold any character. A value that is not such a list
// (edited by hand, an older client) reads as empty rather than failing.
QList<ServerShortcut> ServerShortcuts::read(const QString& key) const {
    QList<ServerShortcut> servers;
    const std::optional<QString> text = m_preferences.string(key);
    if (!text)
        return servers;
    for (const auto& item : QJsonDocument::fromJson(text->toUtf8()).array()) {
        const QJsonObject object = item.toObject();
        ServerShortcut server{object.value(QLatin1String("protocol")).toString(),
                              object.value(QLatin1String("hostdomain")).toString(),
                              object.value(QLatin1String("name")).toString()};
        if (!server.protocol.isEmpty() && !server.hostdomain.isEmpty())
            servers.append(server);
    }
    return servers;
}

void ServerShortcuts::write(const QString& key, const QList<ServerShortcut>& servers) {
    QJsonArray array;
    for (const ServerShortcut& server : servers) {
        array.append(QJsonObject{{QStringLiteral("protocol"), server.protocol},
                                 {QStringLiteral("hostdomain"), server.hostdomain},
                                 {QStringLiteral("name"), server.name}});
    }
    m_preferences.setValue(key,
                           QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
}
