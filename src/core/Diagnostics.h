#pragma once

#include <QString>
#include <functional>

// Diagnostic lines go to standard output as plain lines, flushed at once so that
// they interleave correctly with child processes writing to the same stream.
void logLine(const QString& line);

// Receives every diagnostic line as well (the log file); nothing by default.
void setDiagnosticSink(std::function<void(const QString&)> sink);
