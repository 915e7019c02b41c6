#pragma once

#include <QByteArray>

// What OpenVPN 2.6 needs, beyond what the filter kept of a profile, to talk to the servers
// older provider profiles were written for. Everything it adds is a line the filter keeps
// unchanged, so the launcher's check still holds.
class OpenVPNProfileCompletion final {
public:
    // OpenVPN 2.6's own data-channel ciphers, which a profile's "data-ciphers" replaces.
    static constexpr const char* kDefaultDataCiphers = "AES-256-GCM:AES-128-GCM:CHACHA20-POLY1305";

    // `written` with, at its end: the profile's "cipher" added to the negotiated ciphers
    // and set as the fallback for a server that cannot negotiate (2.6 ignores "cipher");
    // and "allow-compression asym" unless the profile says otherwise, so the framing a
    // server uses or pushes is accepted and decompressed, and nothing sent is compressed.
    static QByteArray completed(const QByteArray& written);
};
