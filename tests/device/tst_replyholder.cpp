// The limits every device request gets, against a loopback server that misbehaves the ways a
// box (or anything answering discovery) can: never answering, streaming for ever, declaring or
// inflating to a huge body, trickling.
#include "device/replyholder.h"
#include "tests/support/loopbackserver.h"

#include <QNetworkAccessManager>
#include <QtTest>

namespace {

const int waitMs = 20000;

QNetworkRequest request(const LoopbackServer &server)
{
    return QNetworkRequest(QUrl(server.origin() + "/x"));
}

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
        QTest::newRow("within") << int(LoopbackServer::Answer) << caps(9, 5000) << none;
        QTest::newRow("never answers")
            << int(LoopbackServer::Silent) << caps(1 << 20, 300) << timeout;
        QTest::newRow("silent, idle")
            << int(LoopbackServer::Silent) << caps(1 << 20, 0, 300) << timeout;
        QTest::newRow("streams for ever")
            << int(LoopbackServer::Endless) << caps(1 << 20, 0) << tooLarge;
        QTest::newRow("declares too much")
            << int(LoopbackServer::Declared) << caps(1 << 20, 0) << tooLarge;
        QTest::newRow("inflates past the cap")
            << int(LoopbackServer::Inflating) << caps(1 << 20, 0) << tooLarge;
        QTest::newRow("trickles") << int(LoopbackServer::Trickle) << caps(1 << 20, 600, 300)
                                  << timeout;
    }
    void limits()
    {
        QFETCH(int, mode);
        QFETCH(ReplyHolder::Limits, limits);
        QFETCH(int, error);
        LoopbackServer server{LoopbackServer::Mode(mode)};
        server.reply = "{\"rtn\":0}";
        QNetworkReply *reply = manager.get(request(server));
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
        LoopbackServer server{LoopbackServer::Trickle};
        QNetworkReply *reply = manager.get(request(server));
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
        LoopbackServer silent{LoopbackServer::Silent};
        ReplyHolder holder;
        QNetworkReply::NetworkError held = QNetworkReply::NoError, once = held;
        holder.hold(manager.get(request(silent)), this,
                    [&](QNetworkReply *reply) { held = ReplyHolder::error(reply); });
        ReplyHolder::handleOnce(manager.get(request(silent)), this,
                                [&](QNetworkReply *reply) { once = ReplyHolder::error(reply); });
        QNetworkReply *own = manager.get(request(silent));
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
