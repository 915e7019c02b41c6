#include "ui/CustomAlertView.h"

#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "ui/ImageNamed.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kAlertWidth = 280;
constexpr int kIconSize = 48;

// The alert is centred on the screen whenever the screen changes size.
class CentreOnParent final : public QObject {
public:
    explicit CentreOnParent(QWidget* alert) : QObject(alert), m_alert(alert) {
        m_alert->parentWidget()->installEventFilter(this);
        centre();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_alert->parentWidget() && event->type() == QEvent::Resize)
            centre();
        return false;
    }

private:
    void centre() {
        const QRect area = m_alert->parentWidget()->rect();
        m_alert->adjustSize();
        QRect frame(QPoint(0, 0), m_alert->size());
        frame.moveCenter(area.center());
        m_alert->setGeometry(frame);
    }

    QWidget* m_alert;
};
} // namespace

CustomAlertView::CustomAlertView(std::function<void()> handler, const QString& text,
                                 const QString& iconKind, QWidget* parent)
    : QWidget(parent) {
    logLine(QStringLiteral("kind ") + iconKind);
    logLine(QStringLiteral("message ") + text);
    logLine(QStringLiteral("click_this"));
    completionHandler = std::move(handler);
    message = text;
    kind = iconKind;
    buildContainer();
}

void CustomAlertView::buildContainer() {
    containerView = new QFrame(this);
    containerView->setObjectName(QStringLiteral("containerView"));
    containerView->setStyleSheet(QStringLiteral(
        "#containerView { background: white; border: 1px solid black; border-radius: 5px; }"));
    auto* pinned = new QVBoxLayout(this);
    pinned->setContentsMargins(0, 0, 0, 0);
    pinned->addWidget(containerView);

    AlertImage = new QLabel(containerView);
    AlertImage->setFixedSize(kIconSize, kIconSize);
    AlertImage->setAlignment(Qt::AlignCenter);
    const QPixmap icon = imageNamed(kind);
    if (!icon.isNull())
        AlertImage->setPixmap(
            icon.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    AlertContent = new QLabel(message, containerView);
    AlertContent->setTextFormat(Qt::PlainText);
    AlertContent->setWordWrap(true);
    AlertContent->setAlignment(Qt::AlignCenter);
    QFont contentFont = AlertContent->font();
    contentFont.setPointSize(14);
    AlertContent->setFont(contentFont);
    AlertContent->setStyleSheet(QStringLiteral("color: black; background: transparent;"));

    AlertOK = new QPushButton(containerView);
    styleConfirmButton();
    connect(AlertOK, &QPushButton::clicked, this, &CustomAlertView::ClickOK);

    auto* layout = new QVBoxLayout(containerView);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(AlertImage, 0, Qt::AlignHCenter);
    layout->addWidget(AlertContent);
    layout->addWidget(AlertOK, 0, Qt::AlignHCenter);
    setFixedWidth(kAlertWidth);
}

void CustomAlertView::styleConfirmButton() {
    AlertOK->setObjectName(QStringLiteral("AlertOK"));
    AlertOK->setFlat(true);
    AlertOK->setText(localized(QStringLiteral("CONFIRM")));
    QFont font = AlertOK->font();
    font.setPointSize(15);
    AlertOK->setFont(font);
    AlertOK->setMinimumSize(120, 32);
    AlertOK->setCursor(Qt::PointingHandCursor);
    AlertOK->setStyleSheet(
        QStringLiteral("#AlertOK { color: white; background: rgb(110, 65, 230); border: 1px solid "
                       "rgb(110, 65, 230); border-radius: 5px; padding: 4px 16px; }"));
}

void CustomAlertView::ClickOK() {
    if (completionHandler)
        completionHandler();
}

CustomAlertView* showAlertOver(QWidget* screen, const QList<QWidget*>& controls,
                               const QString& text, const QString& iconKind, const QSize& size) {
    QList<QPointer<QWidget>> locked;
    for (QWidget* control : controls)
        locked.append(control);
    auto* alert = new CustomAlertView({}, text, iconKind, screen);
    QPointer<CustomAlertView> kept(alert);
    alert->completionHandler = [locked, kept] {
        for (const QPointer<QWidget>& control : locked) {
            if (control)
                control->setEnabled(true);
        }
        if (kept) {
            kept->hide();
            kept->deleteLater();
        }
    };
    if (size.isValid())
        alert->setFixedSize(size);
    new CentreOnParent(alert);
    for (QWidget* control : controls)
        control->setEnabled(false);
    alert->raise();
    alert->show();
    return alert;
}
