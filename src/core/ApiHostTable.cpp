#include "core/ApiHostTable.h"

#include "core/AppState.h"

#include <QUrl>

namespace {
QStringList& table() {
    static QStringList hosts = defaultApiHostTable();
    return hosts;
}
} // namespace

QStringList defaultApiHostTable() {
    return {QStringLiteral("https://api.orvel.net"), QStringLiteral("https://api-1.orvelvpn.com"),
            QStringLiteral("https://api-2.orvelvpn.com"), QStringLiteral("https://api3.orvel.info"),
            QStringLiteral("https://orvel.cloud")};
}

const QStringList& apiHostTable() {
    return table();
}

bool overrideApiHostTable(const QStringList& hosts) {
    if (hosts.size() != 5)
        return false;
    for (const QString& host : hosts) {
        const QUrl url(host);
        if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
            return false;
    }
    table() = hosts;
    selectApiBaseURL();
    return true;
}

void selectApiBaseURL() {
    AppState& state = appState();
    const int index = state.apiHostIndex;
    state.apiBaseURL = (index >= 1 && index <= 4) ? table().at(index) : table().at(0);
}
