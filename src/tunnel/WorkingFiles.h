#pragma once

#include <QByteArray>
#include <QString>

// Files of this run that hold secrets or statements, and the marker that says a teardown
// is still owed.

// Writes `path` whole, atomically and owner-only, announcing it with "FilePath: " and
// reporting a failure on standard output.
void writePrivateFile(const QString& path, const QByteArray& content);
// The diagnostic line of a file that could not be written.
void reportWriteFailure(const QString& path, const QString& error);
// The same for fileName in vpnHomeDir.
void writeWorkingFile(const QString& fileName, const QByteArray& content);
// The working folder, owner-only when this creates it: statements run from it as root.
bool makeWorkingFolder(const QString& home);

// What a run leaves on the machine until its teardown has run (its OpenVPN, its DNS
// override) is marked in the working folder, so that the start after a crash can clear it.
namespace TeardownMarker {

constexpr const char* kName = "teardown.pending";

QString pathIn(const QString& vpnHome);
// In vpnHomeDir, when an OpenVPN is launched or the DNS overridden.
void markPending();
// Once the quit's teardown has run.
void clear();

} // namespace TeardownMarker
