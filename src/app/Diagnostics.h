#pragma once

#include <QString>

// Diagnostic lines go to standard output as plain lines, flushed at once so that
// they interleave correctly with child processes writing to the same stream.
void logLine(const QString& line);
