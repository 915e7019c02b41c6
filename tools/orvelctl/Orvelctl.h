#pragma once

#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <optional>

// orvelctl: the command line's side of the control protocol. Parses the arguments into
// one request, sends it to the running client and turns the answer into output and an
// exit status.
namespace Orvelctl {
// OtherThanAsked: connected, but the failover moved to another server or protocol than
// the one named.
enum Exit { Success = 0, Failed = 1, Usage = 2, NotRunning = 3, OtherThanAsked = 4 };

struct Outcome {
    int exitCode = Success;
    QString output; // for standard output
    QString error;  // one line for standard error
};

// The request for the arguments (without the program name), or why they are wrong.
std::optional<QJsonObject> parseRequest(const QStringList& arguments, QString* error);
bool wantsJson(const QStringList& arguments);
// Sends the request; nothing when no client answers on the socket.
using Send = std::function<std::optional<QJsonObject>(const QJsonObject& request)>;
Outcome run(const QStringList& arguments, const Send& send);
std::optional<QJsonObject> sendOverSocket(const QString& socketPath, const QJsonObject& request);

// A watch: every answer line goes to `line` until the client hangs up; false when no
// client answers at all.
using Line = std::function<void(const QJsonObject&)>;
using Stream = std::function<bool(const QJsonObject& request, const Line& line)>;
// Prints one line per change through `print` and ends when the client goes away.
Outcome watch(const QStringList& arguments, const Stream& stream,
              const std::function<void(const QString&)>& print);
bool streamOverSocket(const QString& socketPath, const QJsonObject& request, const Line& line);

QString usage();
QString versionText();
} // namespace Orvelctl
