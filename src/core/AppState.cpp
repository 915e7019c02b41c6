#include "core/AppState.h"

#include "core/ApiHostTable.h"

namespace {
std::unique_ptr<AppState>& instance() {
    static std::unique_ptr<AppState> state;
    return state;
}

std::unique_ptr<AppState> freshState() {
    auto state = std::make_unique<AppState>();
    state->apiBaseURL = apiHostTable().at(0);
    return state;
}
} // namespace

void AppState::stopFailoverTimer() {
    if (failoverTimer)
        failoverTimer->stop();
}

AppState& appState() {
    if (!instance())
        instance() = freshState();
    return *instance();
}

void resetAppState() {
    instance() = freshState();
}

const QStringList& utunNames() {
    static const QStringList names = [] {
        QStringList list;
        for (int i = 0; i <= 10; ++i)
            list << QStringLiteral("utun%1").arg(i);
        return list;
    }();
    return names;
}

QString supportChatURL() {
    return QStringLiteral("https://support.orvel.net/chat");
}

QColor sharedGrayColor() {
    return QColor(189, 189, 189);
}
