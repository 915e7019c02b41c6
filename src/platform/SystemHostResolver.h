#pragma once

#include "platform/HostResolver.h"

#include <QObject>

// Through QHostInfo, the C library's resolver on Qt's lookup threads. Its servers are
// those of resolv.conf; when that names a resolver on this machine (systemd-resolved's
// stub), the upstream servers systemd-resolved lists in a file of its own.
class SystemHostResolver final : public QObject, public HostResolver {
    Q_OBJECT
public:
    explicit SystemHostResolver(
        QString resolvConf = QStringLiteral("/etc/resolv.conf"),
        QString upstreamConf = QStringLiteral("/run/systemd/resolve/resolv.conf"),
        QObject* parent = nullptr);

    void lookUp(const QStringList& names, int timeoutMs,
                std::function<void(const Addresses&)> done) override;
    QList<QHostAddress> configuredServers() const override;

private:
    QString m_resolvConf;
    QString m_upstreamConf;
};
