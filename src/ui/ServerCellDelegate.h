#pragma once

#include "ui/CustomTableCell.h"

#include <QStyledItemDelegate>

// Paints each row of the selection list as a CustomTableCell over the item background
// of the view's style, so selection shows as the view's style sheet says.
class ServerCellDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The row at `index`, filled afresh from the model: a country without a flag image
    // shows no flag rather than one painted for another server.
    static CustomTableCell cellFor(const QModelIndex& index);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Over a star: what it does and its key.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
