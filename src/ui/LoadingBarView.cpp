#include "ui/LoadingBarView.h"

#include <QLinearGradient>
#include <QPainter>

namespace {
constexpr int kFrameMs = 40;
constexpr int kPhases = 50;
} // namespace

LoadingBarView::LoadingBarView(QWidget* parent) : QLabel(parent) {
    m_frames.setInterval(kFrameMs);
    connect(&m_frames, &QTimer::timeout, this, [this] {
        m_phase = (m_phase + 1) % kPhases;
        update();
    });
}

void LoadingBarView::startAnimation() {
    m_phase = 0;
    m_animating = true;
    runFramesWhenShown();
}

void LoadingBarView::stopAnimation() {
    m_animating = false;
    runFramesWhenShown();
    update();
}

void LoadingBarView::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    runFramesWhenShown();
}

void LoadingBarView::hideEvent(QHideEvent* event) {
    QLabel::hideEvent(event);
    runFramesWhenShown();
}

void LoadingBarView::runFramesWhenShown() {
    if (m_animating && isVisible())
        m_frames.start();
    else
        m_frames.stop();
}

void LoadingBarView::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!isAnimating())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal centre = width() * (m_phase / qreal(kPhases - 1)) * 1.4 - width() * 0.2;
    QLinearGradient band(centre - 30, 0, centre + 30, 0);
    band.setColorAt(0, QColor(255, 255, 255, 0));
    band.setColorAt(0.5, QColor(255, 255, 255, 170));
    band.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillRect(rect(), band);
}
