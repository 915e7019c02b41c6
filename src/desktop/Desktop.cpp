#include "desktop/Desktop.h"

#include "connection/ConnectionEvents.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/ContentWindow.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "desktop/ClientControl.h"
#include "desktop/DiagnosticsExport.h"
#include "desktop/KillSwitchToggles.h"
#include "desktop/LogFile.h"
#include "desktop/SettingsVC.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

namespace {
constexpr int kTrayDelayMs = 250;
} // namespace

bool Desktop::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

Desktop::Desktop(const DesktopHost& host, LogFile& log, QObject* parent)
    : QObject(parent), m_host(host), m_log(log), m_shortcuts(host.preferences),
      m_favourites(m_shortcuts), m_settings(host.preferences),
      m_autostart(Autostart::defaultConfigHome(), QCoreApplication::applicationFilePath()),
      m_notifier(m_notifications, m_settings,
                 [&control = host.control] { return control.isWindowInFront(); }),
      m_alerts(host.alerts, host.window, m_notifier),
      m_control(host.instance, host.control, m_shortcuts) {
    connect(&ConnectionEvents::shared(), &ConnectionEvents::connected, this,
            &Desktop::recordUsedServer);
    services().alerts = &m_alerts;
    services().favourites = &m_favourites;
    host.storyboard.registerController(QStringLiteral("SettingsVC"), [this] {
        auto* screen = new SettingsVC(m_settings, m_autostart);
        addKillSwitchToggles(*screen, m_host.killSwitch);
        connect(screen, &SettingsVC::exportDiagnosticsRequested, this, &Desktop::exportDiagnostics);
        return screen;
    });
    // A moment later: on a regular start the first screens, which the user waits for,
    // are built and their requests answered by then.
    QTimer::singleShot(kTrayDelayMs, this, &Desktop::showTray);
}

void Desktop::showTray() {
    m_tray = std::make_unique<TrayIcon>(m_host.control, m_shortcuts);
    connect(m_tray.get(), &TrayIcon::exportDiagnosticsRequested, this, &Desktop::exportDiagnostics);
    m_tray->show();
}

void Desktop::recordUsedServer() {
    const AppState& state = appState();
    if (state.currentServer)
        m_shortcuts.recordUsed(
            {state.selectedProtocol, state.currentServer->hostdomain, state.currentServer->name});
}

Desktop::~Desktop() {
    services().alerts = &m_host.alerts;
    services().favourites = nullptr;
}

bool Desktop::startsHidden(bool askedHidden) const {
    return (askedHidden || m_settings.startHidden()) && trayAvailable();
}

void Desktop::exportDiagnostics() {
    const QString suggested =
        QDir::homePath() + QStringLiteral("/orvelvpn-diagnostics-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
        QStringLiteral(".zip");
    const QString path = QFileDialog::getSaveFileName(
        &m_host.window.widget(), localized(QStringLiteral("EXPORT_DIAGNOSTICS")), suggested,
        QStringLiteral("ZIP (*.zip)"));
    if (path.isEmpty())
        return;
    const DiagnosticsExport diagnostics(m_log.files(), m_host.preferences,
                                        &DiagnosticsExport::runWithTimeout);
    QString error;
    if (diagnostics.write(path, &error))
        showConfirmAlert(localized(QStringLiteral("EXPORT_DONE")).arg(path));
    else
        showConfirmAlert(localized(QStringLiteral("EXPORT_FAILED")).arg(error));
}
