#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QFrame;

// The in-window alert: an icon, one message and a confirming button, placed by a
// screen over its own content. What confirming does is the caller's completion.
class CustomAlertView final : public QWidget {
    Q_OBJECT
public:
    // `message` is already localized; `kind` names the icon image ("alert", "success").
    CustomAlertView(std::function<void()> completionHandler, const QString& message,
                    const QString& kind, QWidget* parent = nullptr);

    QPointer<QLabel> AlertImage;
    QPointer<QLabel> AlertContent;
    std::function<void()> completionHandler;
    QString message;
    QString kind;
    QPointer<QFrame> containerView;
    QPointer<QPushButton> AlertOK;

public slots:
    void ClickOK();

private:
    void buildContainer();
    void styleConfirmButton();
};

// Shows `alert` centred over `screen` with `controls` disabled until it is confirmed;
// confirming re-enables them and removes the alert. Without a size it fits its content.
CustomAlertView* showAlertOver(QWidget* screen, const QList<QWidget*>& controls,
                               const QString& message, const QString& kind, const QSize& size = {});
