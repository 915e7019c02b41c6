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
} // namespace

std::optional<LaunchOptions> LaunchOptions::parse(const QStringList& arguments, QString* error) {
    QCommandLineParser parser;
    parser.addHelpOption();
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
    if (!parser.parse(arguments)) {
        if (error)
            *error = parser.errorText();
        return std::nullopt;
    }

    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    LaunchOptions options;
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
