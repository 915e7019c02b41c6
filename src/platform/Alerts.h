#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Modal alerts. Each call returns when the user has closed the alert.
class Alerts {
public:
    virtual ~Alerts() = default;

    // Warning style, empty message text, `text` as informative text, one button.
    virtual void showConfirmAlert(const QString& text, const QString& buttonTitle) = 0;
    // Closes the confirm alerts with `text` that are open or waiting to open, as if the
    // user had confirmed them: what they told of is over.
    virtual void closeConfirmAlert(const QString& text) = 0;

    struct ExpiryAlert {
        QString text;
        QString dontShowTitle;
        QString yesTitle;
        QString noTitle;
        std::function<void()> onYes;             // the first button; does not close the alert
        std::function<void()> onDontShowToggled; // every click of the check box
    };
    virtual void showExpiryAlert(const ExpiryAlert& alert) = 0;

    // Warning style, `text` as informative text, one button per title; the index of the
    // button the user chose.
    virtual int showChoiceAlert(const QString& text, const QStringList& buttonTitles) = 0;
};
