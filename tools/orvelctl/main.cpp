// orvelctl: drives the running OrvelVPN client of this user from scripts.
#include "Orvelctl.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString socketPath = SingleInstance::defaultSocketPath();
    const Orvelctl::Outcome outcome =
        Orvelctl::run(app.arguments().mid(1), [&socketPath](const QJsonObject& request) {
            return Orvelctl::sendOverSocket(socketPath, request);
        });
    if (!outcome.output.isEmpty())
        std::fputs(outcome.output.toUtf8().constData(), stdout);
    if (!outcome.error.isEmpty())
        std::fprintf(stderr, "orvelctl: %s\n", outcome.error.toUtf8().constData());
    return outcome.exitCode;
}
