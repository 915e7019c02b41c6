#pragma once

#include "ui/TrackingButton.h"

// The buttons of the login form.
class LoginButton final : public TrackingButton {
    Q_OBJECT
public:
    using TrackingButton::TrackingButton;
};
