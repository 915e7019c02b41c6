#pragma once

#include <QAbstractHttpServer>
#include <functional>

// Hands every parsed request to one function, together with its socket, so the owner
// can answer now, answer later or drop the connection.
class HttpListener final : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Handler = std::function<void(const QHttpServerRequest&, QTcpSocket*)>;

    explicit HttpListener(Handler handler, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Handler m_handler;
};
