#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

class QMouseEvent;
class QPushButton;
class QTableView;
class SaveServerDelegate;
class ServerData;
class ServerTableModel;

// The server selection list, presented over the connection screen. It fetches the
// lists again each time it is shown and lists those of the current protocol.
class TableViewController final : public QDialog {
    Q_OBJECT
public:
    explicit TableViewController(QWidget* parent = nullptr);

    // Told after a row was chosen; the presenter keeps it alive while the list is shown.
    SaveServerDelegate* saveDelegate = nullptr;
    QPointer<QPushButton> TitleLabel;
    QPointer<QTableView> myTableView;
    QPointer<QPushButton> saveButton;
    QPointer<QWidget> StackView;

    int numberOfRows() const;
    void reloadData();

public slots:
    void SaveSelectedServer();
    void SelectCell();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewDidLoad();
    void pick();
    bool clickOnStar(const QMouseEvent* event);
    std::shared_ptr<ServerData> selectedServer() const;

    ServerTableModel* m_model;
};
