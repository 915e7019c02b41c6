#include "desktop/DeferredAlerts.h"

#include "core/ContentWindow.h"
#include "desktop/DesktopNotifier.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>

DeferredAlerts::DeferredAlerts(Alerts& alerts, ContentWindow& window, DesktopNotifier& notifier,
                               QObject* parent)
    : QObject(parent), m_alerts(alerts), m_window(window), m_notifier(notifier) {
    m_window.widget().installEventFilter(this);
}

void DeferredAlerts::showConfirmAlert(const QString& text, const QString& buttonTitle) {
    if (m_quiet && m_quiet()) {
        m_notifier.postAlert(text);
        return;
    }
    m_window.showHeldBack();
    auto show = [this, text, buttonTitle] { m_alerts.showConfirmAlert(text, buttonTitle); };
    if (!mustWait())
        show();
    else if (hold(QStringLiteral("confirm:") + text, std::move(show)) &&
             !m_window.widget().isVisible())
        m_notifier.postAlert(text);
}

void DeferredAlerts::closeConfirmAlert(const QString& text) {
    m_held.removeIf(
        [key = QStringLiteral("confirm:") + text](const Held& held) { return held.key == key; });
    m_alerts.closeConfirmAlert(text);
}

// The expiry warning announces itself as a notification already (the connection's
// expiryWarning event): held, it is not announced twice.
void DeferredAlerts::showExpiryAlert(const ExpiryAlert& alert) {
    if (m_quiet && m_quiet())
        return;
    m_window.showHeldBack();
    auto show = [this, alert] { m_alerts.showExpiryAlert(alert); };
    if (!mustWait())
        show();
    else
        hold(QStringLiteral("expiry:") + alert.text, std::move(show));
}

int DeferredAlerts::showChoiceAlert(const QString& text, const QStringList& buttonTitles) {
    m_window.showHeldBack();
    if (m_window.widget().isVisible())
        return m_alerts.showChoiceAlert(text, buttonTitles);
    m_notifier.postAlert(text);
    return 0;
}

// Once the window is up, alerts still wait behind those held before it.
bool DeferredAlerts::mustWait() const {
    return !m_window.widget().isVisible() || !m_held.isEmpty();
}

bool DeferredAlerts::hold(const QString& key, std::function<void()> show) {
    const bool alreadyHeld = std::any_of(m_held.begin(), m_held.end(),
                                         [&](const Held& held) { return held.key == key; });
    if (!alreadyHeld)
        m_held.append({key, std::move(show)});
    return !alreadyHeld;
}

bool DeferredAlerts::eventFilter(QObject* watched, QEvent* event) {
    // After the window is on screen, not inside its show.
    if (watched == &m_window.widget() && event->type() == QEvent::Show && !m_held.isEmpty())
        QTimer::singleShot(0, this, &DeferredAlerts::showHeld);
    return QObject::eventFilter(watched, event);
}

// One at a time: each blocks until closed, and the window may be hidden again meanwhile.
void DeferredAlerts::showHeld() {
    while (!m_held.isEmpty() && m_window.widget().isVisible()) {
        const Held next = m_held.takeFirst();
        next.show();
    }
}
