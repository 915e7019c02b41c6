#pragma once

#include <QString>

// The privileged shell commands that start and stop the client's OpenVPN. The program
// run as root is the client's own root-owned launcher for the system's OpenVPN, or the
// settings package's "openvpn" when that package matched the pinned SHA-256.
class OpenVPNCommands {
public:
    static constexpr const char* kLauncherName = "orvel-openvpn";

    // The installed launcher: root-owned and writable by root only. Empty when there is
    // no such file.
    static QString launcherPath();

    // "sudo PROGRAM CONFIG" for default.ovpn in vpnHome, the pid recorded where the stop
    // finds it; empty, with the reason logged, when nothing may run.
    static QString launchCommand(const QString& vpnHome);
    // Ends the OpenVPN recorded for default.ovpn in vpnHome (SIGTERM, then SIGKILL after
    // a short grace) and no other process; empty without a launcher.
    static QString stopCommand(const QString& vpnHome);

    // Whether a file may be run as root: a regular file owned by root that nobody else
    // can change.
    static bool isRootOwned(const QString& path);
};
