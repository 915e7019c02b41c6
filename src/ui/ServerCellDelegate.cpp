#include "ui/ServerCellDelegate.h"

#include "core/LocalizeStrings.h"
#include "ui/ServerTableModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

CustomTableCell ServerCellDelegate::cellFor(const QModelIndex& index) {
    CustomTableCell cell;
    cell.configureCell(index.data(ServerTableModel::CountryRole).toString(),
                       index.data(Qt::DisplayRole).toString(),
                       index.data(ServerTableModel::IsActiveRole).toBool(),
                       index.data(ServerTableModel::IsStatusRole).toBool(),
                       index.data(ServerTableModel::TelecomRole).toString());
    const QVariant favourite = index.data(ServerTableModel::FavouriteRole);
    if (favourite.isValid())
        cell.favourite = favourite.toBool();
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

bool ServerCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    const bool overStar = event->type() == QEvent::ToolTip &&
                          index.data(ServerTableModel::FavouriteRole).isValid() &&
                          CustomTableCell::starArea(option.rect).contains(event->pos());
    if (!overStar)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), localized(QStringLiteral("SERVER_FAVOURITE_TIP")),
                       view->viewport(), CustomTableCell::starArea(option.rect));
    return true;
}
