#pragma once

#include <QString>

// What the application bundle would tell on the other platform.
QString appShortVersion();
QString appBundleName();
QString homeDirectory();
// The client's working folder in the home directory (vpnHomeDir), with a trailing slash.
QString workingFolder();
