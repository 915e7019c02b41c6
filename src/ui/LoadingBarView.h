#pragma once

#include <QLabel>
#include <QTimer>

// The progress image under the connect button; while animating a light band sweeps
// across it. Frames run only while it is on screen: a hidden bar must not wake the
// client 25 times a second for as long as a tunnel stays up.
class LoadingBarView final : public QLabel {
    Q_OBJECT
public:
    explicit LoadingBarView(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_animating; }
    bool isDrawingFrames() const { return m_frames.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void runFramesWhenShown();

    QTimer m_frames;
    bool m_animating = false;
    int m_phase = 0;
};
