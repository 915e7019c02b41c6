#include "desktop/Desktop.h"

#include "connection/AccountNotices.h"
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
#include <QTextStream>
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
      m_connectionSettings(host.preferences),
      m_notifier(m_notifications, m_settings,
                 [&control = host.control] { return control.isWindowInFront(); },
                 {[&control = host.control] { control.showWindow(); },
                  [] { AccountNotices::goToPayment(); }}),
      m_alerts(host.alerts, host.window, m_notifier),
      m_control(host.instance, host.control, m_shortcuts, m_catalog) {
    connect(&ConnectionEvents::shared(), &ConnectionEvents::connected, this,
            &Desktop::recordUsedServer);
    m_alerts.setQuiet([&control = host.control] { return control.isDrivingAttempt(); });
    services().alerts = &m_alerts;
    services().favourites = &m_favourites;
    addDesktopSettings(m_catalog, m_settings, m_autostart);
    addConnectionSettings(m_catalog, m_connectionSettings);
    addKillSwitchSettings(m_catalog, host.killSwitch);
    host.storyboard.registerController(QStringLiteral("SettingsVC"), [this] {
        auto* screen = new SettingsVC(m_catalog);
        addKillSwitchToggles(*screen, m_host.killSwitch);
        screen->describeToggle(QStringLiteral("KillSwitchBox"),
                               localized(QStringLiteral("KILLSWITCH_SETTING_HINT")));
        screen->describeToggle(QStringLiteral("AllowLocalNetworkBox"),
                               localized(QStringLiteral("KILLSWITCH_ALLOW_LAN_HINT")));
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
    connect(m_tray.get(), &TrayIcon::refused, this,
            [this](const QString& reason) { m_notifier.postAlert(reason); });
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

// Without a tray nothing on screen shows that the client still runs: the first close says
// how to get the window back, on standard output and as a notification.
void Desktop::windowClosed() {
    if (m_toldHowToReopen || trayAvailable())
        return;
    m_toldHowToReopen = true;
    const QString hint = localized(QStringLiteral("WINDOW_CLOSED_HINT"));
    QTextStream(stdout) << hint << Qt::endl;
    m_notifier.post({localized(QStringLiteral("NOTIFY_TITLE_STILL_RUNNING")),
                     hint,
                     QString(),
                     DesktopNotification::Urgency::Normal,
                     QStringLiteral("hint"),
                     {}});
}

void Desktop::exportDiagnostics() {
    const QString suggested =
        QDir::homePath() + QStringLiteral("/orvelvpn-diagnostics-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
        QStringLiteral(".zip");
    // Modal to the window only, like every dialog of the client: the tray stays usable.
    QFileDialog dialog(&m_host.window.widget(), localized(QStringLiteral("EXPORT_DIAGNOSTICS")),
                       suggested, QStringLiteral("ZIP (*.zip)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("zip"));
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    const DiagnosticsExport diagnostics(m_log.files(), m_host.preferences,
                                        &DiagnosticsExport::runWithTimeout);
    QString error;
    const bool saved = diagnostics.write(path, &error);
    const QString text = saved ? localized(QStringLiteral("EXPORT_DONE")).arg(path)
                               : localized(QStringLiteral("EXPORT_FAILED")).arg(error);
    // One message: in the window when it is shown, as a notification when not.
    if (m_host.window.widget().isVisible()) {
        showConfirmAlert(text);
        return;
    }
    m_notifier.post(
        {localized(saved ? QStringLiteral("EXPORT_TITLE_DONE")
                         : QStringLiteral("EXPORT_TITLE_FAILED")),
         text,
         QString(),
         saved ? DesktopNotification::Urgency::Low : DesktopNotification::Urgency::Normal,
         QStringLiteral("export"),
         {}});
}
