#pragma once

#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// An HTTP server on loopback for client tests: answers every request with one canned reply, or
// misbehaves the ways a box (or anything answering discovery) can: never answering, streaming
// for ever, declaring or inflating to a huge body, trickling. Keeps each request's head. A
// request whose head contains a key of `replies` gets that key's body instead.
class LoopbackServer : public QTcpServer
{
public:
    enum Mode
    {
        Answer,
        Silent,
        Endless,
        Declared,
        Inflating,
        Trickle
    };

    explicit LoopbackServer(Mode mode = Answer) : mode(mode)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QByteArray origin() const { return "http://127.0.0.1:" + QByteArray::number(serverPort()); }
    // A loopback port with nobody listening.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    Mode mode;
    QByteArray reply = "{}";
    QMap<QByteArray, QByteArray> replies;
    QList<QByteArray> heads;

private:
    void serve(QTcpSocket *socket)
    {
        const int end = socket->peek(socket->bytesAvailable()).indexOf("\r\n\r\n");
        if (end < 0)
            return;
        heads.append(socket->read(end));
        socket->readAll();
        const QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        QByteArray body = reply, extra;
        for (auto it = replies.cbegin(); it != replies.cend(); ++it)
            if (heads.last().contains(it.key()))
                body = it.value();
        switch (mode) {
        case Silent:
            return;
        case Declared:
            socket->write(head + "Content-Length: 10737418240\r\n\r\n");
            return;
        case Inflating: // 64 MiB of zeros in about 64 KB on the wire
            body = qCompress(QByteArray(64 << 20, '\0'), 9).mid(4);
            extra = "Content-Encoding: deflate\r\n";
            Q_FALLTHROUGH();
        case Answer:
            socket->write(head + extra + "Content-Type: application/json\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
            return;
        default:
            break;
        }
        socket->write(head + "\r\n");
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [this, socket] {
            if (socket->bytesToWrite() < (1 << 20))
                socket->write(mode == Endless ? QByteArray(64 << 10, 'x') : QByteArray("x"));
        });
        timer->start(mode == Endless ? 1 : 50);
    }
};
