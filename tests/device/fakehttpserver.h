#ifndef KELVORA_TEST_FAKEHTTPSERVER_H
#define KELVORA_TEST_FAKEHTTPSERVER_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A one-answer-per-connection HTTP server on loopback for tests: it records every request
// (request line and headers) and answers each with the same canned reply.
class FakeHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    explicit FakeHttpServer(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&server, &QTcpServer::newConnection, this, &FakeHttpServer::OnNewConnection);
        server.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return server.serverPort(); }
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

    void setReply(const QByteArray &body, int status = 200)
    {
        replyBody = body;
        replyStatus = status;
    }

    QList<Request> requests;

signals:
    void requestReceived();

private:
    void OnNewConnection()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { OnRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void OnRead(QTcpSocket *socket)
    {
        QByteArray &buffer = pending[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        pending.remove(socket);
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const int colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        requests.append(request);
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(replyStatus) +
                            " X\r\n"
                            "Content-Type: application/json\r\nConnection: close\r\n"
                            "Content-Length: " +
                            QByteArray::number(replyBody.size()) + "\r\n\r\n" + replyBody;
        socket->write(answer);
        socket->disconnectFromHost();
        emit requestReceived();
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> pending;
    QByteArray replyBody = "{}";
    int replyStatus = 200;
};

#endif
