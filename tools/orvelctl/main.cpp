// orvelctl: drives the running OrvelVPN client of this user from scripts.
#include "Orvelctl.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString socketPath = SingleInstance::defaultSocketPath();
    const QStringList arguments = app.arguments().mid(1);
    const bool watching = arguments.value(0) == QLatin1String("watch") &&
                          !arguments.contains(QStringLiteral("--help"));
    const Orvelctl::Outcome outcome =
        watching ? Orvelctl::watch(
                       arguments,
                       [&socketPath](const QJsonObject& request, const Orvelctl::Line& line) {
                           return Orvelctl::streamOverSocket(socketPath, request, line);
                       },
                       [](const QString& text) {
                           std::fputs(text.toUtf8().constData(), stdout);
                           std::fflush(stdout);
                       })
                 : Orvelctl::run(arguments, [&socketPath](const QJsonObject& request) {
                       return Orvelctl::sendOverSocket(socketPath, request);
                   });
    if (!outcome.output.isEmpty())
        std::fputs(outcome.output.toUtf8().constData(), stdout);
    if (!outcome.error.isEmpty())
        std::fprintf(stderr, "orvelctl: %s\n", outcome.error.toUtf8().constData());
    return outcome.exitCode;
}
