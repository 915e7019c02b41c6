#pragma once

#include "tunnel/AdminCredentials.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the administrator password once; on success the OpenVPN install may go on.
class DialogController final : public QDialog {
    Q_OBJECT
public:
    explicit DialogController(QWidget* parent = nullptr,
                              QString markerPath = AdminCredentials::kMarkerPath);

    // The storyboard's dialog, modal to the window of `over` only (the tray and the
    // command line stay usable), one at a time: a later call raises the open one. Its
    // answer goes to the connection's events; a cancelled attempt closes it.
    static void present(QWidget* over);

    QLineEdit* edtUserName = nullptr;
    QLineEdit* edtUserPassword = nullptr;
    QLabel* txtIncorrectPassword = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnOK = nullptr;

public slots:
    void clickOK();
    void clickOKButton();
    void clickCancel();
    void submitCredentials();
    void showIncorrectPassword();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void styleFields();
    void acceptCredentials(const QString& userName, const QString& password);

    QString m_markerPath;
};
