#pragma once

#include "ui/MenuButton.h"

#include <QPointer>
#include <QWidget>

class OrvelController;
class QLabel;

// The side menu: six buttons that switch the content screen, open the price page, sign
// out and show the update notice.
class MenuVC final : public QWidget {
    Q_OBJECT
public:
    explicit MenuVC(QWidget* parent = nullptr);

    QPointer<MenuButton> NetworkBtn;
    QPointer<MenuButton> UserBtn;
    QPointer<MenuButton> ChangeBtn;
    QPointer<MenuButton> CardBtn;
    QPointer<MenuButton> ExitBtn;
    QPointer<QLabel> NetworkLabel;
    QPointer<QLabel> UserLabel;
    QPointer<QLabel> ChangeLabel;
    QPointer<QLabel> CardLabel;
    QPointer<QLabel> ExitLabel;
    QPointer<MenuButton> UpdateBtn;
    QPointer<QLabel> UpdateLabel;
    // Beyond the six: the settings screen, made by the storyboard as "SettingsVC" when
    // the application registered one.
    QPointer<MenuButton> SettingsBtn;
    QPointer<QLabel> SettingsLabel;

    static constexpr int kSettingsTag = 7;

    // The button with that tag (1 to 7), as the menu finds its subviews.
    MenuButton* buttonWithTag(int tag) const;

public slots:
    void clickMenu(MenuButton* sender);

private:
    void buildElements();
    void viewDidLoad();
    void runAction(int tag);
    void showSettings(OrvelController& shell, QWidget* current);
};
