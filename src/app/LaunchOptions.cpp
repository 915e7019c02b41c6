#include "app/LaunchOptions.h"

#include <QCommandLineParser>
#include <QProcessEnvironment>

namespace {
struct OptionSpec {
    const char* name;
    const char* environment;
    const char* description;
    QString LaunchOptions::*field;
};

const OptionSpec kStringOptions[] = {
    {"ca-file", "ORVEL_CA_FILE", "Extra CA certificate file (PEM) to trust.",
     &LaunchOptions::caFile},
    {"package-url", "ORVEL_PACKAGE_URL", "Address of the settings package.",
     &LaunchOptions::packageUrl},
    {"package-sha256", "ORVEL_PACKAGE_SHA256", "Expected SHA-256 of the settings package.",
     &LaunchOptions::packageSha256},
    {"language", "ORVEL_LANGUAGE", "String table: en, ko or zh.", &LaunchOptions::language},
    {"vpn-service", "ORVEL_VPN_SERVICE", "IKEv2 service: strongswan or simulated.",
     &LaunchOptions::vpnService},
    {"preferences", "ORVEL_PREFERENCES", "Preferences file.", &LaunchOptions::preferencesFile},
};

// QApplication's own options, taken from the command line after this parse.
const char* const kQtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "qmljsdebugger"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void addQtOptions(QCommandLineParser& parser) {
    for (const char* name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}
} // namespace

QStringList LaunchOptions::arguments(int argc, char* argv[]) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

QString LaunchOptions::usage() {
    return QStringLiteral(
        "Usage: orvelvpn [OPTIONS]\n"
        "The OrvelVPN desktop client. A second start shows the running client's window.\n\n"
        "Options (each also read from the environment variable named):\n"
        "  --hidden                   start in the tray without showing the window\n"
        "  --api-hosts A,B,C,D,E      the five https service addresses   ORVEL_API_HOSTS\n"
        "  --ca-file PATH             one more CA certificate to trust   ORVEL_CA_FILE\n"
        "  --package-url URL          the settings package's address     ORVEL_PACKAGE_URL\n"
        "  --package-sha256 HEX       its pinned SHA-256                 ORVEL_PACKAGE_SHA256\n"
        "  --language en|ko|zh        the language of the texts          ORVEL_LANGUAGE\n"
        "  --vpn-service strongswan|simulated   behind IKEv2            ORVEL_VPN_SERVICE\n"
        "  --preferences PATH         the preferences file               ORVEL_PREFERENCES\n"
        "  -h, --help                 this text\n"
        "  -v, --version              the version\n\n"
        "orvelctl(1) drives the running client from scripts. See orvelvpn(1).\n");
}

QString LaunchOptions::versionText() {
    return QStringLiteral("orvelvpn " ORVEL_VERSION "\n");
}

std::optional<LaunchOptions> LaunchOptions::parse(const QStringList& arguments, QString* error) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(
        QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    QCommandLineOption hostsOption(QStringLiteral("api-hosts"),
                                   QStringLiteral("Five comma-separated https base addresses."),
                                   QStringLiteral("list"));
    parser.addOption(hostsOption);
    QCommandLineOption hiddenOption(
        QStringLiteral("hidden"), QStringLiteral("Start in the tray without showing the window."));
    parser.addOption(hiddenOption);
    QList<QCommandLineOption> stringOptions;
    for (const OptionSpec& spec : kStringOptions) {
        stringOptions.append(QCommandLineOption(QString::fromLatin1(spec.name),
                                                QString::fromLatin1(spec.description),
                                                QStringLiteral("value")));
        parser.addOption(stringOptions.last());
    }
    addQtOptions(parser);
    if (!parser.parse(arguments)) {
        if (error)
            *error = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        if (error)
            *error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return std::nullopt;
    }

    LaunchOptions options;
    if (parser.isSet(helpOption) || parser.isSet(versionOption)) {
        options.request = parser.isSet(helpOption) ? Request::Help : Request::Version;
        return options;
    }
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    options.hidden = parser.isSet(hiddenOption);
    const QString hosts = parser.isSet(hostsOption)
                              ? parser.value(hostsOption)
                              : environment.value(QStringLiteral("ORVEL_API_HOSTS"));
    if (!hosts.isEmpty())
        options.apiHosts = hosts.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < stringOptions.size(); ++i) {
        const OptionSpec& spec = kStringOptions[i];
        options.*spec.field = parser.isSet(stringOptions.at(i))
                                  ? parser.value(stringOptions.at(i))
                                  : environment.value(QString::fromLatin1(spec.environment));
    }
    return options;
}
