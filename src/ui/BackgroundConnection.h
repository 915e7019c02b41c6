#pragma once

#include "connection/ConnectionView.h"

#include <QObject>
#include <QWidget>

// The view of the run's connection while another screen fills the window, for the tray
// and the command line (they never swap the user's screen): nothing is drawn, the
// administrator dialog opens over the window, and the server name the connect sequence
// reads is the one the connection screen would show.
class BackgroundConnection final : public QObject, public ConnectionView {
    Q_OBJECT
public:
    explicit BackgroundConnection(QWidget& window);

    // The server a press would ask for, as the screen would show it after a pick.
    void showCurrentServer();

    void renderDisconnected(bool showAutoMatching) override;
    void renderConnecting() override;
    void renderConnected() override;
    void showServer(const QString& name, const QString& country) override;
    void showFailoverMessage(const QString&) override {}
    void hideFailoverMessage() override {}
    void setProtocolBoxes(bool, bool) override {}
    void restartLoadingAnimation() override {}
    void presentAdminDialog() override;
    QString shownServerName() const override { return m_shownName; }

private:
    QWidget& m_window;
    QString m_shownName;
};
