#include "HttpListener.h"

#include <utility>

HttpListener::HttpListener(Handler handler, QObject* parent)
    : QAbstractHttpServer(parent), m_handler(std::move(handler)) {}

bool HttpListener::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    m_handler(request, socket);
    return true;
}

void HttpListener::missingHandler(const QHttpServerRequest&, QTcpSocket*) {}
