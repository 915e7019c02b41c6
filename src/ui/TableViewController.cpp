#include "ui/TableViewController.h"

#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "servers/SelectionStore.h"
#include "servers/ServerList.h"
#include "ui/CustomTableCell.h"
#include "ui/SaveServerDelegate.h"
#include "ui/ServerCellDelegate.h"
#include "ui/ServerTableModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 36;

const ServerList& shownList() {
    return serverListForProtocol(appState().selectedProtocol);
}

bool isEnter(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Ctrl+D, the usual key for keeping what is in front of you.
bool isStarKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->key() == Qt::Key_D && key->modifiers() == Qt::ControlModifier;
}

bool isMouseButtonEvent(const QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return false;
    }
}
} // namespace

TableViewController::TableViewController(QWidget* parent)
    : QDialog(parent), m_model(new ServerTableModel(this)) {
    setWindowModality(Qt::WindowModal);
    resize(340, 420);

    TitleLabel = new QPushButton(this);
    TitleLabel->setFlat(true);
    TitleLabel->setFocusPolicy(Qt::NoFocus);
    myTableView = new QTableView(this);
    myTableView->setAccessibleName(localized(QStringLiteral("SELECT_SERVER")));
    m_model->setFavourites(services().favourites);
    myTableView->setModel(m_model);
    myTableView->setItemDelegate(new ServerCellDelegate(myTableView));
    myTableView->horizontalHeader()->hide();
    myTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    myTableView->verticalHeader()->hide();
    myTableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    myTableView->verticalHeader()->setDefaultSectionSize(kRowHeight);
    myTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    myTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    myTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    myTableView->installEventFilter(this);
    myTableView->viewport()->installEventFilter(this);
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
    connect(myTableView, &QTableView::activated, this, &TableViewController::SelectCell);
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
        QStringLiteral("QTableView { gridline-color: lightgray; background: white; }"
                       "QTableView::item:selected { background: rgb(221, 214, 250); }"));
}

void TableViewController::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The lists as they were stay on show until the fresh reply replaces them.
    reloadData();
    getServerList({{},
                   [self = QPointer(this)] {
                       if (self)
                           self->reloadData();
                   },
                   this});
}

bool TableViewController::eventFilter(QObject* watched, QEvent* event) {
    // The table activates its row on Enter but passes the key on, and the dialog would
    // then press its default button and run the pick a second time.
    if (watched == myTableView && isEnter(event) && myTableView->currentIndex().isValid()) {
        SelectCell();
        return true;
    }
    if (watched == myTableView && isStarKey(event))
        return m_model->toggleFavourite(myTableView->currentIndex().row());
    if (watched == myTableView->viewport() && isMouseButtonEvent(event))
        return clickOnStar(static_cast<QMouseEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

// A star takes the whole click: pressing it neither selects nor picks its row, and a
// double click there only toggles it twice.
bool TableViewController::clickOnStar(const QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QModelIndex index = myTableView->indexAt(at);
    const bool onStar = index.data(ServerTableModel::FavouriteRole).isValid() &&
                        CustomTableCell::starArea(myTableView->visualRect(index)).contains(at);
    if (!onStar)
        return false;
    if (event->type() != QEvent::MouseButtonRelease && event->button() == Qt::LeftButton)
        m_model->toggleFavourite(index.row());
    return true;
}

int TableViewController::numberOfRows() const {
    return static_cast<int>(shownList().size());
}

void TableViewController::reloadData() {
    // A row chosen while the reply was on its way stays chosen: the same server, wherever
    // it now is in the list.
    const std::shared_ptr<ServerData> chosen = selectedServer();
    m_model->setServers(shownList());
    const int row = chosen ? m_model->rowOf(*chosen) : -1;
    if (row >= 0)
        myTableView->selectRow(row);
}

std::shared_ptr<ServerData> TableViewController::selectedServer() const {
    const QModelIndexList rows = myTableView->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_model->server(rows.first().row());
}

void TableViewController::pick() {
    if (const std::shared_ptr<ServerData> server = selectedServer()) {
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
