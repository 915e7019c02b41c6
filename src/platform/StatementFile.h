#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

// A statement file runs as root once its password checks out, so only the user who runs
// it may have written it: a regular file of that user, writable by no one else, in a
// folder no one else can write (where they could swap it for their own).
namespace StatementFile {

// Statements are one line; anything this long is not one of ours.
inline constexpr qint64 kMaxBytes = qint64{64} * 1024;

struct Refusal {
    QString reason;
};

// The file's bytes, read through the very descriptor that was checked.
std::variant<QByteArray, Refusal> read(const QString& path);

} // namespace StatementFile
