#include "servers/TableViewController.h"

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/LocalizeStrings.h"
#include "servers/ConfirmAlert.h"
#include "servers/CustomTableCell.h"
#include "servers/SaveServerDelegate.h"
#include "servers/SelectionStore.h"
#include "servers/ServerData.h"
#include "servers/ServerList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 36;

const ServerList& shownList() {
    return serverListForProtocol(appState().selectedProtocol);
}
} // namespace

TableViewController::TableViewController(QWidget* parent) : QDialog(parent) {
    setWindowModality(Qt::WindowModal);
    resize(340, 420);

    TitleLabel = new QPushButton(this);
    TitleLabel->setFlat(true);
    TitleLabel->setFocusPolicy(Qt::NoFocus);
    myTableView = new QTableWidget(this);
    myTableView->setColumnCount(1);
    myTableView->horizontalHeader()->hide();
    myTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    myTableView->verticalHeader()->hide();
    myTableView->verticalHeader()->setDefaultSectionSize(kRowHeight);
    myTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    myTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    myTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    saveButton = new QPushButton(localized(QStringLiteral("CONFIRM")), this);
    saveButton->setDefault(true);

    StackView = new QWidget(this);
    auto* buttons = new QHBoxLayout(StackView);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    buttons->addWidget(saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(TitleLabel);
    layout->addWidget(myTableView, 1);
    layout->addWidget(StackView);
    StackView->setContentsMargins(8, 0, 8, 0);

    connect(saveButton, &QPushButton::clicked, this, &TableViewController::SaveSelectedServer);
    connect(myTableView, &QTableWidget::cellActivated, this, &TableViewController::SelectCell);
    viewDidLoad();
}

void TableViewController::viewDidLoad() {
    TitleLabel->setText(localized(QStringLiteral("SERVERSELECTION_TITLE")));
    TitleLabel->setMinimumHeight(40);
    TitleLabel->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgb(66, 48, 146); border: none; "
                       "text-align: center; font-weight: bold; }"));
    myTableView->setShowGrid(true);
    myTableView->setStyleSheet(
        QStringLiteral("QTableWidget { gridline-color: lightgray; background: white; }"
                       "QTableWidget::item:selected { background: rgb(221, 214, 250); }"));
}

void TableViewController::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    getServerList({{},
                   [self = QPointer(this)] {
                       if (self)
                           self->reloadData();
                   },
                   this});
}

int TableViewController::numberOfRows() const {
    return static_cast<int>(shownList().size());
}

void TableViewController::reloadData() {
    const ServerList& list = shownList();
    myTableView->setRowCount(static_cast<int>(list.size()));
    for (int row = 0; row < list.size(); ++row) {
        // Rows keep their cell, so a missing flag image leaves the one shown before.
        auto* cell = qobject_cast<CustomTableCell*>(myTableView->cellWidget(row, 0));
        if (!cell) {
            cell = new CustomTableCell;
            myTableView->setCellWidget(row, 0, cell);
        }
        const ServerData& server = *list.at(row);
        cell->configureCell(server.country, server.name, server.is_active, server.is_status,
                            server.telecom);
    }
}

int TableViewController::selectedRow() const {
    const QModelIndexList rows = myTableView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TableViewController::pick() {
    const int row = selectedRow();
    if (row >= 0) {
        const ServerList& list = shownList();
        if (row >= list.size())
            return;
        const std::shared_ptr<ServerData> server = list.at(row);
        if (!server->is_status || !server->is_active) {
            showConfirmAlert(localized(QStringLiteral("SERVER_MAINTENANCE")));
            return;
        }
        saveSelection(server);
    }
    accept();
}

void TableViewController::SaveSelectedServer() {
    pick();
}

void TableViewController::SelectCell() {
    logLine(QStringLiteral("SelectCell"));
    pick();
    if (saveDelegate)
        saveDelegate->didSaveServer();
    logLine(QStringLiteral("SaveServer End"));
}
