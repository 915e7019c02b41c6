#include "servers/ServerCellDelegate.h"

#include "servers/ServerTableModel.h"

#include <QApplication>
#include <QPainter>

CustomTableCell ServerCellDelegate::cellFor(const QModelIndex& index) {
    CustomTableCell cell;
    cell.configureCell(index.data(ServerTableModel::CountryRole).toString(),
                       index.data(Qt::DisplayRole).toString(),
                       index.data(ServerTableModel::IsActiveRole).toBool(),
                       index.data(ServerTableModel::IsStatusRole).toBool(),
                       index.data(ServerTableModel::TelecomRole).toString());
    return cell;
}

void ServerCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, view);
    cellFor(index).draw(*painter, option.rect, option.font);
}
