#pragma once

#include "platform/Alerts.h"

#include <QList>
#include <QObject>
#include <functional>

class DesktopNotifier;
class ContentWindow;

// Alerts of a client whose window is not on screen (started hidden in the tray, or closed
// to it). An alert then would block with nothing of the client to see: it is held instead
// (once, however often it is raised), the user is told by a desktop notification, and the
// held alerts appear in order when the window is shown. Each held call returns at once, as
// if the alert had been closed without a choice. A choice cannot wait for an answer: while
// hidden the first choice (the cautious one) is taken and the user told. A window held
// back for its first frame is not hidden: it is shown before the alert.
class DeferredAlerts final : public QObject, public Alerts {
    Q_OBJECT
public:
    DeferredAlerts(Alerts& alerts, ContentWindow& window, DesktopNotifier& notifier,
                   QObject* parent = nullptr);

    // While this answers true (an attempt of the tray or the command line runs), its
    // alerts belong to the caller: a notification at most, never a box left on screen.
    void setQuiet(std::function<bool()> quiet) { m_quiet = std::move(quiet); }

    void showConfirmAlert(const QString& text, const QString& buttonTitle) override;
    void closeConfirmAlert(const QString& text) override;
    void showExpiryAlert(const ExpiryAlert& alert) override;
    int showChoiceAlert(const QString& text, const QStringList& buttonTitles) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Held {
        QString key;
        std::function<void()> show;
    };
    bool mustWait() const;
    // False when the same alert is held already.
    bool hold(const QString& key, std::function<void()> show);
    void showHeld();

    Alerts& m_alerts;
    ContentWindow& m_window;
    DesktopNotifier& m_notifier;
    std::function<bool()> m_quiet;
    QList<Held> m_held;
};
