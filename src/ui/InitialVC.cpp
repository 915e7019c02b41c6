#include "ui/InitialVC.h"

#include "core/AppInfo.h"
#include "core/ContentWindow.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "ui/ViewController.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {
constexpr int kWidth = 350;
constexpr int kHeight = 500;
// A regular start is over long before this; the busy bar repaints some 30 times a second,
// and every repaint wakes several threads. A step that takes longer (a download) moves the
// bar in slow steps.
constexpr int kBusyAnimationMs = 3000;
constexpr int kSlowStepMs = 500;
constexpr int kSlowSteps = 6;
// While the chain waits, the bar rests after these; the status line says what for.
constexpr int kSlowStepsBeforeRest = 20;

QLabel* makeLabel(QWidget* parent, const QRect& frame, int pointSize) {
    auto* label = new QLabel(parent);
    label->setGeometry(frame);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    return label;
}
} // namespace

InitialVC::InitialVC(Storyboard* storyboard, QWidget* parent)
    : QWidget(parent), m_chain(*this, storyboard) {
    viewDidLoad();
}

void InitialVC::viewDidLoad() {
    setObjectName(QStringLiteral("InitialVC"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("#InitialVC { background: white; }"));

    companyName = makeLabel(this, QRect(0, 90, kWidth, 80), 22);
    companyName->setText(QStringLiteral("OrvelVPN\nLinux version"));
    companyName->setStyleSheet(QStringLiteral("color: gray;"));
    setFixedSize(kWidth, kHeight);

    checkStatus = makeLabel(this, QRect(0, 240, kWidth, 30), 16);
    checkStatus->setStyleSheet(QStringLiteral("color: rgb(46, 28, 126);"));

    // A busy bar (range 0..0) is Qt's spinning indicator.
    progressbar = new QProgressBar(this);
    progressbar->setRange(0, 0);
    progressbar->setTextVisible(false);
    progressbar->setGeometry(100, 200, 150, 23);

    lbVersion = makeLabel(this, QRect(0, 440, kWidth, 24), 12);
    lbVersion->setStyleSheet(QStringLiteral("color: gray;"));

    connect(&m_barSteps, &QTimer::timeout, this, [this] {
        if (progressbar)
            progressbar->setValue((progressbar->value() + 1) % (kSlowSteps + 1));
        if (m_barStepsLeft > 0 && --m_barStepsLeft == 0)
            m_barSteps.stop();
    });
    QTimer::singleShot(kBusyAnimationMs, this, &InitialVC::endBusyAnimation);
}

void InitialVC::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        viewDidAppear();
    }
}

void InitialVC::viewDidAppear() {
    window()->setWindowTitle(localized(QStringLiteral("APPTITLE")) + appShortVersion());
    lbVersion->setText(QStringLiteral("ORVEL VPN v") + appShortVersion());
    if (auto* mainWindow = dynamic_cast<ContentWindow*>(window())) {
        mainWindow->setResizable(true);
        mainWindow->setContentSize(kWidth, kHeight);
        mainWindow->setResizable(false);
    }
}

void InitialVC::setStatusText(const QString& text) {
    if (checkStatus)
        checkStatus->setText(text);
}

void InitialVC::showWorkingLook() {
    m_working = true;
    if (m_busyAnimationOver)
        stepTheBar();
}

void InitialVC::showWaitingLook() {
    m_working = false;
    endBusyAnimation();
}

void InitialVC::endBusyAnimation() {
    m_busyAnimationOver = true;
    stepTheBar();
}

void InitialVC::stepTheBar() {
    if (!progressbar)
        return;
    if (progressbar->maximum() == 0) {
        progressbar->setRange(0, kSlowSteps);
        progressbar->setValue(0);
    }
    m_barStepsLeft = m_working ? -1 : kSlowStepsBeforeRest;
    if (!m_barSteps.isActive())
        m_barSteps.start(kSlowStepMs);
}

void InitialVC::goToLogin(Storyboard* storyboard) {
    ContentWindow* window = services().mainWindow;
    if (!window)
        return;
    if (!storyboard) {
        logLine(QStringLiteral("return"));
        return;
    }
    QWidget* controller = storyboard->instantiateController(QStringLiteral("LoginController"));
    auto* login = qobject_cast<ViewController*>(controller);
    if (!login) {
        delete controller;
        return;
    }
    m_barSteps.stop();
    window->setContentViewController(login);
    if (progressbar)
        progressbar->deleteLater();
}
