#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class Preferences;

// A server the tray offers directly: by protocol and host, with the name it had.
struct ServerShortcut {
    QString protocol; // "IKEV2" or "OPENVPN"
    QString hostdomain;
    QString name;

    bool sameServer(const ServerShortcut& other) const {
        return protocol == other.protocol && hostdomain == other.hostdomain;
    }
};

// The user's favourite servers and the last five used, kept in the preferences.
class ServerShortcuts final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRecentCount = 5;

    explicit ServerShortcuts(Preferences& preferences, QObject* parent = nullptr);

    QList<ServerShortcut> favourites() const;
    QList<ServerShortcut> recent() const;
    bool isFavourite(const ServerShortcut& server) const;
    void toggleFavourite(const ServerShortcut& server);
    // Most recent first; a server used again moves to the front.
    void recordUsed(const ServerShortcut& server);

signals:
    void favouritesChanged();
    void recentChanged();

private:
    QList<ServerShortcut> read(const QString& key) const;
    void write(const QString& key, const QList<ServerShortcut>& servers);

    Preferences& m_preferences;
    // The selection list asks for every row it paints: read once, then kept with each write.
    mutable std::optional<QList<ServerShortcut>> m_favourites;
};
