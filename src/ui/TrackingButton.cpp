#include "ui/TrackingButton.h"

TrackingButton::TrackingButton(QWidget* parent) : QPushButton(parent) {
    updateTrackingAreas();
}

void TrackingButton::updateTrackingAreas() {
    // Qt delivers enter and leave for the whole widget once hover tracking is on,
    // whichever window is active; the area is kept to follow the bounds.
    setAttribute(Qt::WA_Hover, true);
    setMouseTracking(true);
    m_trackingArea = rect();
}

void TrackingButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    updateTrackingAreas();
}
