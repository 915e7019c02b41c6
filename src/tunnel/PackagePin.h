#pragma once

#include <QString>

// The settings package comes over plain HTTP: what it holds runs or is installed as
// root only when the archive matched a SHA-256 pinned at build time or by the launch
// option --package-sha256.
class PackagePin {
public:
    // The launch option, when given, wins over the digest of the build.
    static void setLaunchOption(const QString& sha256Hex);
    // Lower-case hex; empty when nothing is pinned.
    static QString pinnedSha256();

    static bool fileHasSha256(const QString& path, const QString& sha256Hex);
    // Whether the package unpacked in `vpnHome` came from an archive with the pinned
    // digest and its "openvpn" is a regular file. Says why not in `reason`.
    static bool packageMatchesPin(const QString& vpnHome, QString* reason = nullptr);
};
