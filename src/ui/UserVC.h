#pragma once

#include "ui/UserTop.h"

#include <QPointer>
#include <QWidget>

class QLabel;

// The signed-in account: name, product, expiry and "rec", as last fetched by the
// connection screen.
class UserVC final : public QWidget {
    Q_OBJECT
public:
    explicit UserVC(QWidget* parent = nullptr);

    QPointer<QLabel> NameLabel;
    QPointer<QLabel> ProductLabel;
    QPointer<QLabel> ExpireLabel;
    QPointer<QLabel> RecLabel;
    QPointer<QLabel> NameTitle;
    QPointer<QLabel> ProductTitle;
    QPointer<QLabel> ExpireTitle;
    QPointer<QLabel> RecTitle;

    // Fills the screen from the account values of this moment; runs when first shown.
    void loadViewIfNeeded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildElements();
    void viewDidLoad();

    QPointer<UserTop> m_header;
    bool m_loaded = false;
};
