#pragma once

#include <QString>

// What the application bundle would tell on the other platform.
QString appShortVersion();
QString appBundleName();
QString homeDirectory();
