#include "ui/OrvelController.h"

#include "core/Services.h"
#include "core/Storyboard.h"
#include "ui/MenuVC.h"

#include <QHBoxLayout>

OrvelController::OrvelController(QWidget* parent) : QWidget(parent) {
    m_split = new QHBoxLayout(this);
    m_split->setContentsMargins(0, 0, 0, 0);
    m_split->setSpacing(0);
    m_menu = new MenuVC(this);
    QList<QWidget*> items{m_menu};
    if (Storyboard* storyboard = services().storyboard) {
        if (QWidget* network = storyboard->instantiateController(QStringLiteral("NetworkVC")))
            items << network;
    }
    setSplitViewItems(items);
    viewDidLoad();
}

void OrvelController::viewDidLoad() {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(46, 28, 126));
    setPalette(colours);
}

QList<QWidget*> OrvelController::splitViewItems() const {
    QList<QWidget*> items;
    for (const QPointer<QWidget>& item : m_items) {
        if (item)
            items << item;
    }
    return items;
}

void OrvelController::setSplitViewItems(const QList<QWidget*>& items) {
    for (const QPointer<QWidget>& old : std::as_const(m_items)) {
        if (old && !items.contains(old.data())) {
            m_split->removeWidget(old);
            old->hide();
            old->deleteLater();
        }
    }
    m_items.clear();
    for (QWidget* item : items) {
        m_split->addWidget(item, 0, Qt::AlignTop);
        item->show();
        m_items << item;
    }
}
