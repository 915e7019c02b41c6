#pragma once

#include <QPushButton>

// A push button that keeps one hover tracking area over its bounds; the pointer's
// entering and leaving are left to the button's own handling.
class TrackingButton : public QPushButton {
    Q_OBJECT
public:
    explicit TrackingButton(QWidget* parent = nullptr);

    void updateTrackingAreas();
    QRect trackingArea() const { return m_trackingArea; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The one region watched for the pointer: the bounds at the last geometry change.
    QRect m_trackingArea;
};
