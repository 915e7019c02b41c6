#pragma once

#include <QString>

// The networksetup stand-in of the source tree. (__FILE__ is no guide: a shared ccache
// with a base_dir turns it into a path relative to the build folder.)
inline QString networksetupStandIn() {
    return QStringLiteral(QT_TESTCASE_SOURCEDIR "/../tools/networksetup/networksetup");
}
