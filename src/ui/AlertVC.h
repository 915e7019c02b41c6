#pragma once

#include <QWidget>

// A plain container scene with a white background.
class AlertVC final : public QWidget {
    Q_OBJECT
public:
    explicit AlertVC(QWidget* parent = nullptr);
};
