#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

// The header panel of the user screen: the account's e-mail address.
class UserTop final : public QWidget {
    Q_OBJECT
public:
    explicit UserTop(QWidget* parent = nullptr);

    QPointer<QLabel> EmailLabel;

private:
    void viewDidLoad();
};
