#include "desktop/ToggleBox.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace {
// The indicator's side and the gap after it, in font units so they grow with the text.
constexpr double kIndicatorEm = 1.0;
constexpr double kSpacingEm = 0.6;
} // namespace

ToggleBox::ToggleBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setCursor(Qt::PointingHandCursor);
    const int side = qRound(fontMetrics().height() * kIndicatorEm);
    setStyleSheet(
        QStringLiteral(
            "QCheckBox { color: white; } QCheckBox:disabled { color: rgba(255,255,255,140); }"
            "QCheckBox::indicator { width: %1px; height: %1px; border: 2px solid white;"
            " border-radius: 3px; background: transparent; }"
            "QCheckBox::indicator:checked { background: rgb(119, 89, 249); }"
            "QCheckBox::indicator:disabled { border-color: rgba(255,255,255,110); }"
            "QCheckBox::indicator:checked:disabled { background: rgba(119, 89, 249, 110); }"
            "QCheckBox:focus { outline: none; }")
            .arg(side - 4));
}

QRect ToggleBox::textRect(int width) const {
    const int indent = qRound(fontMetrics().height() * (kIndicatorEm + kSpacingEm));
    const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, qMax(1, width - indent), 100000),
                                                    Qt::TextWordWrap, text());
    return {indent, 0, qMax(1, width - indent), bounds.height()};
}

int ToggleBox::heightForWidth(int width) const {
    return qMax(textRect(width).height(), fontMetrics().height()) + 4;
}

QSize ToggleBox::sizeHint() const {
    const int indent = qRound(fontMetrics().height() * (kIndicatorEm + kSpacingEm));
    const int width = indent + fontMetrics().horizontalAdvance(text());
    return {width, heightForWidth(width)};
}

QSize ToggleBox::minimumSizeHint() const {
    const int indent = qRound(fontMetrics().height() * (kIndicatorEm + kSpacingEm));
    return {indent + fontMetrics().averageCharWidth() * 8, fontMetrics().height() + 4};
}

void ToggleBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    // The indicator stands by the first line, not in the middle of a wrapped text.
    option.rect.setHeight(fontMetrics().height() + 4);
    style()->drawControl(QStyle::CE_CheckBox, &option, &painter, this);
    const QRect area = textRect(width()).translated(0, 2);
    style()->drawItemText(&painter, area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          palette(), isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = area.adjusted(-2, -1, 2, 1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

bool ToggleBox::hitButton(const QPoint& point) const {
    return rect().contains(point);
}
