#pragma once

#include <QString>
#include <functional>

// Diagnostic lines go to standard output as plain lines, flushed at once so that
// they interleave correctly with child processes writing to the same stream.
void logLine(const QString& line);

// Receives every diagnostic line as well (the log file); nothing by default.
void setDiagnosticSink(std::function<void(const QString&)> sink);

// What a diagnostic line shows in place of a token, cookie or password: standard output
// reaches the journal, so the line keeps its wording and loses the value.
inline constexpr const char* kMaskedSecret = "<redacted>";
// An empty value stays empty: the line still tells that none was known.
QString maskedSecret(const QString& secret);
