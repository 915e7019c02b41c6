#pragma once

#include "ui/MenuVC.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QHBoxLayout;

// The signed-in shell: the side menu in split item 0, one content screen in item 1.
class OrvelController final : public QWidget {
    Q_OBJECT
public:
    explicit OrvelController(QWidget* parent = nullptr);

    QList<QWidget*> splitViewItems() const;
    // Puts the given screens in place; a screen no longer among them is released.
    void setSplitViewItems(const QList<QWidget*>& items);

    MenuVC* menu() const { return m_menu; }

private:
    void viewDidLoad();

    QHBoxLayout* m_split = nullptr;
    QPointer<MenuVC> m_menu;
    QList<QPointer<QWidget>> m_items;
};
