#include "platform/MessageBoxAlerts.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {
// Texts come from the service (notices, names): shown as they are, never as markup.
void showAsPlainText(QMessageBox& box, const QString& text) {
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(text);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}
} // namespace

void MessageBoxAlerts::setWindow(QWidget* window, const QString& title) {
    m_window = window;
    m_title = title;
}

void MessageBoxAlerts::prepare(QMessageBox& box, const QString& text) const {
    showAsPlainText(box, text);
    box.setWindowTitle(m_title);
    box.setAccessibleName(m_title);
    box.setAccessibleDescription(text);
    if (!m_window)
        return;
    box.setParent(m_window, box.windowFlags());
    // Set before exec(), which would otherwise make the box modal to the whole application.
    box.setWindowModality(Qt::WindowModal);
}

void MessageBoxAlerts::showConfirmAlert(const QString& text, const QString& buttonTitle) {
    QMessageBox box(QMessageBox::Warning, QString(), QString());
    prepare(box, text);
    box.addButton(buttonTitle, QMessageBox::AcceptRole);
    m_openConfirms.append(&box);
    box.exec();
    m_openConfirms.removeAll(&box);
}

void MessageBoxAlerts::closeConfirmAlert(const QString& text) {
    for (const QPointer<QMessageBox>& box : m_openConfirms) {
        if (box && box->informativeText() == text)
            box->accept();
    }
}

void MessageBoxAlerts::showExpiryAlert(const ExpiryAlert& alert) {
    QMessageBox box(QMessageBox::Warning, QString(), QString());
    prepare(box, alert.text);
    auto* dontShow = new QCheckBox(alert.dontShowTitle, &box);
    box.setCheckBox(dontShow);
    QObject::connect(dontShow, &QCheckBox::clicked, &box, [&alert] {
        if (alert.onDontShowToggled)
            alert.onDontShowToggled();
    });
    // The first button opens the payment page and leaves the alert up.
    auto* yes = new QPushButton(alert.yesTitle, &box);
    box.addButton(yes, QMessageBox::ActionRole);
    yes->disconnect();
    QObject::connect(yes, &QPushButton::clicked, &box, [&alert] {
        if (alert.onYes)
            alert.onYes();
    });
    box.addButton(alert.noTitle, QMessageBox::RejectRole);
    box.exec();
}

int MessageBoxAlerts::showChoiceAlert(const QString& text, const QStringList& buttonTitles) {
    QMessageBox box(QMessageBox::Warning, QString(), QString());
    prepare(box, text);
    QList<QAbstractButton*> buttons;
    for (const QString& title : buttonTitles)
        buttons.append(box.addButton(title, QMessageBox::AcceptRole));
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}
