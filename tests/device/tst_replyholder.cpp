// The limits every device request gets, against a loopback server that misbehaves the ways a
// box (or anything answering discovery) can: never answering, streaming for ever, declaring or
// inflating to a huge body, trickling.
#include "device/replyholder.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

const int waitMs = 20000;

class MisbehavingServer : public QTcpServer
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

    explicit MisbehavingServer(Mode mode) : mode(mode)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QUrl url() const { return QUrl("http://127.0.0.1:" + QString::number(serverPort()) + "/x"); }

private:
    void serve(QTcpSocket *socket)
    {
        if (!socket->readAll().contains("\r\n\r\n") || mode == Silent)
            return;
        QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        switch (mode) {
        case Answer:
            socket->write(head + "Content-Length: 9\r\n\r\n{\"rtn\":0}");
            return;
        case Declared:
            socket->write(head + "Content-Length: 10737418240\r\n\r\n");
            return;
        case Inflating: {
            // 64 MiB of zeros in about 64 KB on the wire.
            const QByteArray body = qCompress(QByteArray(64 << 20, '\0'), 9).mid(4);
            socket->write(head + "Content-Encoding: deflate\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            return;
        }
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

    Mode mode;
};

ReplyHolder::Limits caps(qint64 maxBytes, int timeoutMs, int idleMs = 0)
{
    ReplyHolder::Limits l;
    l.maxBytes = maxBytes;
    l.timeoutMs = timeoutMs;
    l.idleMs = idleMs;
    return l;
}

} // namespace

Q_DECLARE_METATYPE(ReplyHolder::Limits)

class TestReplyHolder : public QObject
{
    Q_OBJECT

private:
    QNetworkAccessManager manager;

private slots:
    void limits_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<ReplyHolder::Limits>("limits");
        QTest::addColumn<int>("error");
        const int none = QNetworkReply::NoError, timeout = QNetworkReply::TimeoutError,
                  tooLarge = QNetworkReply::UnknownContentError;
        QTest::newRow("within") << int(MisbehavingServer::Answer) << caps(9, 5000) << none;
        QTest::newRow("never answers")
            << int(MisbehavingServer::Silent) << caps(1 << 20, 300) << timeout;
        QTest::newRow("silent, idle")
            << int(MisbehavingServer::Silent) << caps(1 << 20, 0, 300) << timeout;
        QTest::newRow("streams for ever")
            << int(MisbehavingServer::Endless) << caps(1 << 20, 0) << tooLarge;
        QTest::newRow("declares too much")
            << int(MisbehavingServer::Declared) << caps(1 << 20, 0) << tooLarge;
        QTest::newRow("inflates past the cap")
            << int(MisbehavingServer::Inflating) << caps(1 << 20, 0) << tooLarge;
        QTest::newRow("trickles") << int(MisbehavingServer::Trickle) << caps(1 << 20, 600, 300)
                                  << timeout;
    }
    void limits()
    {
        QFETCH(int, mode);
        QFETCH(ReplyHolder::Limits, limits);
        QFETCH(int, error);
        MisbehavingServer server{MisbehavingServer::Mode(mode)};
        QNetworkReply *reply = manager.get(QNetworkRequest(server.url()));
        ReplyHolder::limit(reply, limits);
        QList<QNetworkReply::NetworkError> forwarded;
        ReplyHolder::forwardError(
            reply, this, [&](QNetworkReply::NetworkError code) { forwarded.append(code); });
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(waitMs));
        QCOMPARE(int(ReplyHolder::error(reply)), error);
        if (error == QNetworkReply::NoError) {
            QCOMPARE(reply->readAll(), QByteArray("{\"rtn\":0}"));
            QVERIFY(forwarded.isEmpty());
        } else {
            QCOMPARE(forwarded, QList<QNetworkReply::NetworkError>{ReplyHolder::error(reply)});
        }
        delete reply;
    }

    // Silence resets with every byte: a reply that keeps moving outlives several idle spans.
    void idleOnlyWhenSilent()
    {
        MisbehavingServer server{MisbehavingServer::Trickle};
        QNetworkReply *reply = manager.get(QNetworkRequest(server.url()));
        ReplyHolder::limit(reply, caps(1 << 20, 0, 300));
        QTest::qWait(1200);
        QVERIFY(reply->isRunning());
        reply->abort();
        delete reply;
    }

    // hold() and handleOnce() arm the defaults; limits set before are kept.
    void holdersArmTheDefaults()
    {
        const ReplyHolder::Limits saved = ReplyHolder::defaultLimits();
        ReplyHolder::setDefaultLimits(caps(1 << 20, 300));
        MisbehavingServer silent{MisbehavingServer::Silent};
        ReplyHolder holder;
        QNetworkReply::NetworkError held = QNetworkReply::NoError, once = held;
        holder.hold(manager.get(QNetworkRequest(silent.url())), this,
                    [&](QNetworkReply *reply) { held = ReplyHolder::error(reply); });
        ReplyHolder::handleOnce(manager.get(QNetworkRequest(silent.url())), this,
                                [&](QNetworkReply *reply) { once = ReplyHolder::error(reply); });
        QNetworkReply *own = manager.get(QNetworkRequest(silent.url()));
        ReplyHolder::limit(own, caps(1 << 20, 0));
        ReplyHolder::handleOnce(own, this, [](QNetworkReply *) {});
        QTRY_VERIFY_WITH_TIMEOUT(
            held == QNetworkReply::TimeoutError && once == QNetworkReply::TimeoutError, waitMs);
        QVERIFY(!holder.isPending());
        QVERIFY(own->isRunning());
        own->abort();
        ReplyHolder::setDefaultLimits(saved);
    }
};

QTEST_GUILESS_MAIN(TestReplyHolder)
#include "tst_replyholder.moc"
