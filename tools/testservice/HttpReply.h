#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP/1.1 answer, written straight to the socket: a delayed answer outlives the
// server's request object, so the server's own responder cannot be kept for it.
struct HttpReply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // extra ones, e.g. Set-Cookie

    QByteArray serialize(bool keepAlive) const;

    static HttpReply json(const QByteArray& body, int status = 200);
    static HttpReply html(int status, const QByteArray& title);
};
