#include "desktop/Desktop.h"

#include "app/AppDelegate.h"
#include "app/Application.h"
#include "app/LocalizeStrings.h"
#include "app/MainWindow.h"
#include "app/Services.h"
#include "app/Storyboard.h"
#include "connection/ConnectionEvents.h"
#include "desktop/DiagnosticsExport.h"
#include "desktop/KillSwitchToggles.h"
#include "desktop/LogFile.h"
#include "desktop/SettingsVC.h"
#include "servers/ConfirmAlert.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

namespace {
constexpr int kTrayDelayMs = 250;

bool trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}
} // namespace

Desktop::Desktop(Application& application, LogFile& log, QObject* parent)
    : QObject(parent), m_application(application), m_log(log),
      m_shortcuts(application.preferences()), m_favourites(m_shortcuts),
      m_settings(application.preferences()),
      m_autostart(Autostart::defaultConfigHome(), QCoreApplication::applicationFilePath()),
      m_controller(application.window(), application.delegate(), m_shortcuts),
      m_notifier(m_notifications, m_settings,
                 [&window = application.window()] {
                     return window.isVisible() && window.isActiveWindow() && !window.isMinimized();
                 }),
      m_alerts(application.alerts(), application.window(), m_notifier),
      m_control(application.instance(), m_controller, m_shortcuts) {
    MainWindow& window = application.window();
    window.setHideOnClose(&trayAvailable);
    connect(&application.delegate(), &AppDelegate::quitRequested, this,
            [] { ConnectionEvents::shared().expectDisconnect(); });
    services().alerts = &m_alerts;
    services().favourites = &m_favourites;
    application.storyboard().registerController(QStringLiteral("SettingsVC"), [this] {
        auto* screen = new SettingsVC(m_settings, m_autostart);
        addKillSwitchToggles(*screen, m_application.killSwitch());
        connect(screen, &SettingsVC::exportDiagnosticsRequested, this, &Desktop::exportDiagnostics);
        return screen;
    });
    // A moment later: on a regular start the first screens, which the user waits for,
    // are built and their requests answered by then.
    QTimer::singleShot(kTrayDelayMs, this, &Desktop::showTray);
}

void Desktop::showTray() {
    m_tray = std::make_unique<TrayIcon>(m_controller, m_shortcuts);
    connect(m_tray.get(), &TrayIcon::exportDiagnosticsRequested, this, &Desktop::exportDiagnostics);
    m_tray->show();
}

Desktop::~Desktop() {
    services().alerts = &m_application.alerts();
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
        &m_application.window(), localized(QStringLiteral("EXPORT_DIAGNOSTICS")), suggested,
        QStringLiteral("ZIP (*.zip)"));
    if (path.isEmpty())
        return;
    const DiagnosticsExport diagnostics(m_log.files(), m_application.preferences(),
                                        &DiagnosticsExport::runWithTimeout);
    QString error;
    if (diagnostics.write(path, &error))
        showConfirmAlert(localized(QStringLiteral("EXPORT_DONE")).arg(path));
    else
        showConfirmAlert(localized(QStringLiteral("EXPORT_FAILED")).arg(error));
}
