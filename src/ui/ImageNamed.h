#pragma once

#include <QPixmap>
#include <QString>

// An image of the bundle by its name, as the screens name them ("alert", "mFlagKR"):
// looked up among the images and the flags. Null when there is none of that name.
QPixmap imageNamed(const QString& name);

// The flag of a server's country; an empty country shows the "mFlagAU" image.
QPixmap flagImage(const QString& country);
