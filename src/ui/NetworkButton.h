#pragma once

#include "ui/TrackingButton.h"

// The connect button and the other buttons of the connection screen.
class NetworkButton final : public TrackingButton {
    Q_OBJECT
public:
    using TrackingButton::TrackingButton;
};
