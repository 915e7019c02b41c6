#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <optional>

// The OpenVPN configuration the service sends, cut down to what a client profile
// needs. OpenVPN reads it as root, so only allow-listed directives with arguments of
// the expected form survive, each written back from the words OpenVPN would read;
// nothing can run or load a program, name a file (but the client's own auth file),
// open a port, or switch encryption off or weaken it. Inline blocks survive as the PEM
// text of the certificates and keys they hold, and <connection> blocks as their allowed
// lines.
class OpenVPNProfileFilter final {
public:
    explicit OpenVPNProfileFilter(QByteArray authPath);

    // Every line of the result ends with a line feed. What was left out is added to
    // `dropped`, each named once; an inline block that does not close leaves nothing.
    QByteArray filtered(const QByteArray& profile, QByteArrayList* dropped = nullptr) const;
    // Why a filtered profile would not make OpenVPN a client of a server it checks: it
    // needs "client" (or "tls-client" with "pull"), a "remote", and an inline <ca> or a
    // "peer-fingerprint". Empty when it would.
    static QString clientProfileProblem(const QByteArray& written);

    static bool isAllowedDirective(const QByteArray& name);
    static bool isAllowedInlineBlock(const QByteArray& name);

private:
    QByteArray filteredLines(const QByteArray& profile, bool refusesCompression,
                             QByteArrayList& drops) const;
    std::optional<QByteArray> directiveLine(const QByteArrayList& words, bool inConnection,
                                            QByteArrayList& dropped) const;
    std::optional<QByteArray> connectionBlock(const QByteArray& body,
                                              QByteArrayList& dropped) const;

    QByteArray m_authPath;
};
