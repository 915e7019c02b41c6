// orvel-testservice: runs the service stand-in until SIGTERM or SIGINT.

#include "TestService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[0], &byte, 1);
}

bool installSignalHandlers() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

std::optional<quint16> portOption(const QCommandLineParser& parser, const QString& name) {
    if (!parser.isSet(name))
        return quint16(0);
    bool ok = false;
    const uint port = parser.value(name).toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    return quint16(port);
}

int fail(const QString& message) {
    std::fprintf(stderr, "orvel-testservice: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvel-testservice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stand-in for the OrvelVPN service API, on loopback addresses only."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("state-dir"), QStringLiteral("Folder for certificates and logs."),
         QStringLiteral("DIR")},
        {QStringLiteral("scenario"), QStringLiteral("Scenario JSON file (default: the demo)."),
         QStringLiteral("FILE")},
        {QStringLiteral("hosts"), QStringLiteral("Number of API hosts, 1 to 9 (default 5)."),
         QStringLiteral("N"), QStringLiteral("5")},
        {QStringLiteral("port"), QStringLiteral("First HTTPS port; host i uses PORT + i."),
         QStringLiteral("PORT")},
        {QStringLiteral("package-port"), QStringLiteral("Port of the plain HTTP listener."),
         QStringLiteral("PORT")},
        {QStringLiteral("print-demo-scenario"),
         QStringLiteral("Print the demo scenario and exit.")},
    });
    parser.process(app);

    if (parser.isSet(QStringLiteral("print-demo-scenario"))) {
        std::fputs(Scenario::demoJson().constData(), stdout);
        return 0;
    }
    if (!parser.isSet(QStringLiteral("state-dir")))
        return fail(QStringLiteral("--state-dir is required"));

    TestService::Options options;
    options.stateDir = QDir(parser.value(QStringLiteral("state-dir"))).absolutePath();
    bool hostsOk = false;
    options.hostCount = parser.value(QStringLiteral("hosts")).toInt(&hostsOk);
    const auto port = portOption(parser, QStringLiteral("port"));
    const auto packagePort = portOption(parser, QStringLiteral("package-port"));
    if (!hostsOk || !port || !packagePort)
        return fail(QStringLiteral("--hosts, --port and --package-port take numbers"));
    options.firstPort = *port;
    options.packagePort = *packagePort;
    if (parser.isSet(QStringLiteral("scenario"))) {
        QFile file(parser.value(QStringLiteral("scenario")));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        QString error;
        const std::optional<Scenario> scenario = Scenario::fromJson(file.readAll(), &error);
        if (!scenario)
            return fail(QStringLiteral("%1: %2").arg(file.fileName(), error));
        options.scenario = *scenario;
    }
    if (!QDir().mkpath(options.stateDir))
        return fail(QStringLiteral("cannot create %1").arg(options.stateDir));
    options.requestLogFile = QDir(options.stateDir).filePath(QStringLiteral("requests.jsonl"));

    if (!installSignalHandlers())
        return fail(QStringLiteral("cannot install signal handlers"));
    QSocketNotifier signalNotifier(g_signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(g_signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });

    TestService service;
    if (!service.start(options))
        return fail(service.errorString());

    nlohmann::ordered_json endpoints;
    endpoints["apiHosts"] = nlohmann::ordered_json::array();
    for (const QString& url : service.baseUrls())
        endpoints["apiHosts"].push_back(url.toStdString());
    endpoints["caFile"] = service.caFile().toStdString();
    endpoints["packageUrl"] = service.packageUrl().toStdString();
    endpoints["controlUrl"] = service.controlUrl().toStdString();
    const QByteArray endpointsJson = QByteArray::fromStdString(endpoints.dump());
    QSaveFile endpointsFile(QDir(options.stateDir).filePath(QStringLiteral("endpoints.json")));
    if (!endpointsFile.open(QIODevice::WriteOnly) ||
        endpointsFile.write(endpointsJson + '\n') < 0 || !endpointsFile.commit())
        return fail(QStringLiteral("cannot write endpoints.json"));

    std::printf("orvel-testservice ready %s\n", endpointsJson.constData());
    std::fflush(stdout);
    const int status = app.exec();
    service.stop();
    return status;
}
