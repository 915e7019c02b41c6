#include "ui/BackgroundConnection.h"

#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "ui/DialogController.h"

BackgroundConnection::BackgroundConnection(QWidget& window) : m_window(window) {
    showCurrentServer();
}

void BackgroundConnection::showCurrentServer() {
    const auto& server = appState().currentServer;
    m_shownName = server ? localized(server->name) : localized(QStringLiteral("AUTO_MATCHING"));
}

void BackgroundConnection::renderDisconnected(bool showAutoMatching) {
    if (showAutoMatching)
        m_shownName = localized(QStringLiteral("AUTO_MATCHING"));
    else
        showCurrentServer();
}

void BackgroundConnection::renderConnecting() {
    showCurrentServer();
}

void BackgroundConnection::renderConnected() {
    showCurrentServer();
}

void BackgroundConnection::showServer(const QString& name, const QString&) {
    m_shownName = name;
}

void BackgroundConnection::presentAdminDialog() {
    DialogController::present(&m_window);
}
