#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

class QPushButton;
class QTableWidget;
class SaveServerDelegate;
class ServerData;

// The server selection list, presented over the connection screen. It fetches the
// lists again each time it is shown and lists those of the current protocol.
class TableViewController final : public QDialog {
    Q_OBJECT
public:
    explicit TableViewController(QWidget* parent = nullptr);

    // Told after a row was chosen; the presenter keeps it alive while the list is shown.
    SaveServerDelegate* saveDelegate = nullptr;
    QPointer<QPushButton> TitleLabel;
    QPointer<QTableWidget> myTableView;
    QPointer<QPushButton> saveButton;
    QPointer<QWidget> StackView;

    int numberOfRows() const;
    void reloadData();

public slots:
    void SaveSelectedServer();
    void SelectCell();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void viewDidLoad();
    void pick();
    int selectedRow() const;
};
