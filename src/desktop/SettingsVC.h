#pragma once

#include <QPointer>
#include <QWidget>

class Autostart;
class DesktopSettings;
class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The "Settings" screen of the side menu: start at login, start hidden, notifications,
// a network protection section for the kill switch's toggles, and diagnostics export.
class SettingsVC final : public QWidget {
    Q_OBJECT
public:
    SettingsVC(DesktopSettings& settings, Autostart& autostart, QWidget* parent = nullptr);

    QPointer<QLabel> TitleLabel;
    QPointer<QCheckBox> StartAtLoginBox;
    QPointer<QCheckBox> StartHiddenBox;
    QPointer<QCheckBox> NotificationsBox;
    QPointer<QPushButton> ExportButton;

    // A toggle in the network protection section, which shows once it holds one.
    QCheckBox* addNetworkToggle(const QString& text);

signals:
    void exportDiagnosticsRequested();

private:
    QVBoxLayout* addSection(const QString& title, QLabel** header = nullptr);
    QCheckBox* addToggle(QVBoxLayout* section, const QString& text);
    void changeStartAtLogin(bool enabled);

    DesktopSettings& m_settings;
    Autostart& m_autostart;
    QVBoxLayout* m_column = nullptr;
    QVBoxLayout* m_network = nullptr;
    QLabel* m_networkHeader = nullptr;
};
