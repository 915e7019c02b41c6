#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Deployment and test overrides, from the command line or the environment (the command
// line wins): the five API hosts, one extra trusted CA file, the settings package
// address, the string table, and which VPN service stands behind IKEv2.
struct LaunchOptions {
    // What the command line asks for: the client, or only a text printed before any
    // display or network is touched.
    enum class Request { Run, Help, Version };

    QStringList apiHosts;    // --api-hosts a,b,c,d,e   ORVEL_API_HOSTS
    QString caFile;          // --ca-file PATH          ORVEL_CA_FILE
    QString packageUrl;      // --package-url URL       ORVEL_PACKAGE_URL
    QString packageSha256;   // --package-sha256 HEX    ORVEL_PACKAGE_SHA256
    QString language;        // --language en|ko|zh     ORVEL_LANGUAGE
    QString vpnService;      // --vpn-service simulated|strongswan   ORVEL_VPN_SERVICE
    QString preferencesFile; // --preferences PATH     ORVEL_PREFERENCES
    bool hidden = false;     // --hidden: start in the tray (start at login)
    Request request = Request::Run;

    // `arguments` as main() gets them, program name first; Qt's own display options
    // (-platform, -display...) are let through for QApplication.
    static std::optional<LaunchOptions> parse(const QStringList& arguments, QString* error);
    static QStringList arguments(int argc, char* argv[]);
    static QString usage();
    static QString versionText();
};
