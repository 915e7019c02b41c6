#pragma once

#include <QMap>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class SettingsCatalog;

// The "Settings" screen of the side menu: start at login and start hidden, reconnecting
// and connecting at start, notifications, a network protection section for the kill
// switch's toggles, and diagnostics export. Each box shows and changes one entry of the
// catalogue, and follows a change made from the command line.
class SettingsVC final : public QWidget {
    Q_OBJECT
public:
    explicit SettingsVC(SettingsCatalog& catalog, QWidget* parent = nullptr);

    QPointer<QLabel> TitleLabel;
    QPointer<QCheckBox> StartAtLoginBox;
    QPointer<QCheckBox> StartHiddenBox;
    QPointer<QCheckBox> ReconnectBox;
    QPointer<QCheckBox> ConnectAtStartBox;
    QPointer<QCheckBox> NotificationsBox;
    QPointer<QPushButton> ExportButton;

    // A toggle in the network protection section, which shows once it holds one.
    QCheckBox* addNetworkToggle(const QString& text);
    // The description assistive technology reads for a toggle, found by its object name.
    void describeToggle(const QString& objectName, const QString& description);

signals:
    void exportDiagnosticsRequested();

private:
    QVBoxLayout* addSection(const QString& titleKey, QLabel** header = nullptr);
    QCheckBox* addToggle(QVBoxLayout* section, const QString& text);
    QCheckBox* addSetting(QVBoxLayout* section, const QString& name, const char* textKey);
    void changeSetting(QCheckBox* box, const QString& name, bool value);
    void showSetting(const QString& name, bool value);
    void orderTabs();

    SettingsCatalog& m_catalog;
    QMap<QString, QCheckBox*> m_boxes;
    QVBoxLayout* m_column = nullptr;
    QVBoxLayout* m_network = nullptr;
    QLabel* m_networkHeader = nullptr;
};
