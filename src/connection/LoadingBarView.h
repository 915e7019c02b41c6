#pragma once

#include <QLabel>
#include <QTimer>

// The progress image under the connect button; while animating a light band sweeps
// across it.
class LoadingBarView final : public QLabel {
    Q_OBJECT
public:
    explicit LoadingBarView(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_frames.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_frames;
    int m_phase = 0;
};
