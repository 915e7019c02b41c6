#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <optional>

// The OpenVPN configuration the service sends, cut down to what a client profile
// needs. OpenVPN reads it as root, so only allow-listed directives with arguments of
// the expected form survive, each written back from the words OpenVPN would read;
// nothing can run or load a program, name a file (but the client's own auth file),
// open a port or switch encryption off. Inline blocks survive as the PEM text of the
// certificates and keys they hold, and <connection> blocks as their allowed lines.
class OpenVPNProfileFilter final {
public:
    explicit OpenVPNProfileFilter(QByteArray authPath);

    // Every line of the result ends with a line feed; dropped lines are logged.
    QByteArray filtered(const QByteArray& profile) const;

    static bool isAllowedDirective(const QByteArray& name);
    static bool isAllowedInlineBlock(const QByteArray& name);

private:
    std::optional<QByteArray> directiveLine(QByteArrayList words, bool inConnection) const;
    std::optional<QByteArray> connectionBlock(const QByteArray& body) const;

    QByteArray m_authPath;
};
