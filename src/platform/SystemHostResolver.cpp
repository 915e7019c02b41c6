#include "platform/SystemHostResolver.h"

#include <QFile>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <memory>

Q_LOGGING_CATEGORY(lcResolver, "orvel.resolver")

namespace {

// The "nameserver" lines of a file in resolv.conf's form. An address with a scope (a
// link-local one) is left out: the rules that let lookups out name addresses only.
QList<QHostAddress> nameServersIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QHostAddress> servers;
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().simplified().split(' ');
        if (words.size() < 2 || words[0] != "nameserver")
            continue;
        const QHostAddress address(QString::fromLatin1(words[1]));
        if (address.isNull() || !address.scopeId().isEmpty() || address.isLinkLocal())
            qCInfo(lcResolver) << "name server left out:" << words[1].left(64);
        else if (!servers.contains(address))
            servers << address;
    }
    return servers;
}

// One call's answers; whichever of the last answer and the deadline comes first ends it.
struct Round {
    HostResolver::Addresses found;
    qsizetype waiting = 0;
    std::function<void(const HostResolver::Addresses&)> done;

    void finish() {
        if (!done)
            return;
        auto call = std::move(done);
        done = nullptr;
        call(found);
    }
};
} // namespace

SystemHostResolver::SystemHostResolver(QString resolvConf, QString upstreamConf, QObject* parent)
    : QObject(parent), m_resolvConf(std::move(resolvConf)),
      m_upstreamConf(std::move(upstreamConf)) {}

QList<QHostAddress> SystemHostResolver::configuredServers() const {
    const QList<QHostAddress> servers = nameServersIn(m_resolvConf);
    const bool onThisMachine = std::any_of(servers.cbegin(), servers.cend(),
                                           [](const QHostAddress& a) { return a.isLoopback(); });
    return onThisMachine ? nameServersIn(m_upstreamConf) : servers;
}

void SystemHostResolver::lookUp(const QStringList& names, int timeoutMs,
                                std::function<void(const Addresses&)> done) {
    auto round = std::make_shared<Round>();
    round->done = std::move(done);
    round->waiting = names.size();
    QTimer::singleShot(names.isEmpty() ? 0 : timeoutMs, this, [round] { round->finish(); });
    for (const QString& name : names) {
        QHostInfo::lookupHost(name, this, [round, name](const QHostInfo& info) {
            if (!round->done)
                return;
            if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty())
                round->found.insert(name, info.addresses());
            if (--round->waiting == 0)
                round->finish();
        });
    }
}
