#pragma once

#include <QCheckBox>

// A check box whose text wraps onto more lines instead of being clipped (large fonts,
// long translations), in the look of the connection screen's protocol boxes: a ticked box
// is filled, a disabled one faded, whatever the desktop's palette.
class ToggleBox final : public QCheckBox {
    Q_OBJECT
public:
    explicit ToggleBox(const QString& text, QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& point) const override;

private:
    QRect textRect(int width) const;
};
