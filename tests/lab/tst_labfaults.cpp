// Every fault switch of the lab, switched at run time, by configuration and on the command line.
// The switches that slow a reply are checked by a lower bound only: a loaded machine can make a
// reply later, never earlier.
#include "labtest.h"

#include <QJsonArray>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

namespace {

QJsonObject faultsOf(const QString &scope, const QJsonObject &set)
{
    return QJsonObject{{scope, set}};
}

} // namespace

class TestLabFaults : public LabTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void accountSwitches();
    void forcedRet();
    void delay();
    void dropAfterBytes();
    void malformedJson_data();
    void malformedJson();
    void forcedRtnWithOptFilter();
    void rateLimit();
    void ignoreRange();
    void offline();
    void configuredAndCommandLine();

private:
    QString file() const { return lab_.deviceUrl(kDevice, QStringLiteral("http")) + kBigFile; }
    QString relayed() const
    {
        return lab_.relayUrl() + kBigFile +
               QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2")
                   .arg(kDevice)
                   .arg(port("http"));
    }
};

void TestLabFaults::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
}

void TestLabFaults::cleanup()
{
    QVERIFY(lab_.setFaults(QJsonObject()));
}

void TestLabFaults::accountSwitches()
{
    QVERIFY(lab_.setFaults(faultsOf("account", {{"force_code", 8}})));
    QCOMPARE(login(http_, lab_.accountUrl(), "demo", "demo123").value("code").toInt(), 8);
    QVERIFY(lab_.setFaults(faultsOf("account", {{"delay_ms", 1500}})));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!session().isEmpty()); // the forced code is gone with the new set
    QVERIFY(clock.elapsed() >= 1400);
    QVERIFY(!lab_.setFaults(faultsOf("account", {{"no_such_switch", 1}})));
}

void TestLabFaults::forcedRet()
{
    const QString s = session();
    QVERIFY(lab_.setFaults(faultsOf("account", {{"ret", 3}})));
    const QJsonObject o = devices("sessionid=" + s.toLatin1() + "; userid=880000001");
    QCOMPARE(o.value("ret").toInt(), 3);
    QCOMPARE(o.value("devices").toArray().size(), 2); // the list is still there: only "ret" lies
}

void TestLabFaults::delay()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"delay_ms", 1200}})));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(http_.get(dlna("getusbinfo")).status, 200);
    QVERIFY(clock.elapsed() >= 1100);
}

void TestLabFaults::dropAfterBytes()
{
    // Qt 5.15 reports no error for a body cut short by a closed connection: only the length
    // against Content-Length tells.
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"drop_after_bytes", 100000}})));
    QByteArray got;
    const HttpSync::Result r = http_.stream(file(), [&](const QByteArray &b) { got += b; });
    QCOMPARE(got.size(), 100000);
    QCOMPARE(r.header("Content-Length").toLongLong(), kBig);
    // The relay cuts its own stream too.
    QVERIFY(lab_.setFaults(faultsOf("relay", {{"drop_after_bytes", 50000}})));
    got.clear();
    http_.stream(relayed(), [&](const QByteArray &b) { got += b; });
    QVERIFY(!got.isEmpty());
    QVERIFY(got.size() < 50000);
}

void TestLabFaults::malformedJson_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"truncated", "nonobject", "garbage"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestLabFaults::malformedJson()
{
    QFETCH(QString, kind);
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"malformed_json", kind}})));
    const HttpSync::Result r = http_.get(dlna("querydir", "&path="));
    QCOMPARE(r.status, 200);
    QVERIFY(!r.body.isEmpty());
    QVERIFY(!QJsonDocument::fromJson(r.body).isObject());
}

void TestLabFaults::forcedRtnWithOptFilter()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"rtn", 5}, {"opts", "get,querydir"}})));
    QCOMPARE(rtn(dlna("get", "&type=160560&start=0&count=10")), 5);
    QCOMPARE(rtn(dlna("querydir", "&path=")), 5);
    QCOMPARE(rtn(dlna("getusbinfo")), 0);
    // Another device is not touched.
    QCOMPARE(rtn(base(port("xctl", "TVK0000000003")) + "/dlna.csp?opt=querydir"), 0);
}

void TestLabFaults::rateLimit()
{
    // The device paces its replies, the relay what it forwards (head included), each by its own
    // switch: 400000 bytes at 200000 bytes/s take at least 1.5 s.
    for (const QString &scope : {kDevice, QStringLiteral("relay")}) {
        QVERIFY(lab_.setFaults(faultsOf(scope, {{"rate_limit_bytes_per_s", 200000}})));
        QElapsedTimer clock;
        clock.start();
        const HttpSync::Result r =
            http_.get(scope == kDevice ? file() : relayed(), {{"Range", "bytes=0-399999"}});
        QCOMPARE(r.status, 206);
        QCOMPARE(r.body.size(), 400000);
        QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));
    }
}

void TestLabFaults::ignoreRange()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"ignore_range", true}})));
    const HttpSync::Result r = http_.get(file(), {{"Range", "bytes=1000-"}});
    QCOMPARE(r.status, 200);
    QCOMPARE(qint64(r.body.size()), kBig);
    QVERIFY(r.header("Content-Range").isEmpty());
}

void TestLabFaults::offline()
{
    const QString s = session();
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"offline", true}})));
    QCOMPARE(http_.get(dlna("getusbinfo")).status, 503);
    QCOMPARE(http_
                 .get(lab_.relayUrl() +
                      QStringLiteral("/dlna.csp?opt=getusbinfo&x-qm-devid=%1&x-qm-port=%2")
                          .arg(kDevice)
                          .arg(port("xctl")))
                 .status,
             503);
    QCOMPARE(devices("sessionid=" + s.toLatin1() + "; userid=880000001")
                 .value("devices")
                 .toArray()[0]
                 .toObject()
                 .value("onlinestatus")
                 .toInt(),
             0);
    // Discovery: only the other device answers, as the lab's log line of the probe tells.
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
    socket.writeDatagram("{\"type\":0,\"seq\":1}", QHostAddress::LocalHost,
                         quint16(port("discovery")));
    const QString probe =
        QStringLiteral("discovery UDP 127.0.0.1:%1 probe 200 1").arg(socket.localPort());
    QTRY_VERIFY_WITH_TIMEOUT(lab_.requestLog().contains(probe), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(socket.hasPendingDatagrams(), 10000);
    const QJsonObject answer = QJsonDocument::fromJson(socket.receiveDatagram().data()).object();
    QCOMPARE(answer.value("id").toString(), QStringLiteral("TVK0000000003"));
    QVERIFY(!socket.hasPendingDatagrams());
}

void TestLabFaults::configuredAndCommandLine()
{
    // A switch in one device's configuration, narrowed to one of its services, beside switches
    // given on the command line.
    LabProcess lab;
    QVERIFY2(
        lab.startSample(
            QJsonObject{{"devices", QJsonArray{QJsonObject{
                                        {"id", "TVK0000000003"},
                                        {"faults", QJsonObject{{"rtn", 7}, {"only", "xctl"}}}}}}},
            {"--quiet", "--fault", kDevice + ":rtn=9", "--fault", "account:force_code=8"}),
        qPrintable(lab.lastError()));
    QCOMPARE(rtn(base(lab.device(kDevice).value("xctl_port").toInt()) + "/dlna.csp?opt=getusbinfo"),
             9);
    QCOMPARE(login(http_, lab.accountUrl(), "demo", "demo123").value("code").toInt(), 8);
    const QJsonObject third = lab.device("TVK0000000003");
    QCOMPARE(rtn(base(third.value("xctl_port").toInt()) + "/dlna.csp?opt=getusbinfo"), 7);
    const QString upload = QStringLiteral("http://127.0.0.1:%1/upload.csp?uploadpath=/media/sda1&"
                                          "file=x.txt")
                               .arg(third.value("mps_port").toInt());
    QCOMPARE(http_.post(upload, "x", "application/octet-stream").json().value("rtn").toInt(-99), 0);
    QVERIFY(lab.stop()); // a clean end on SIGTERM

    // A switch it does not know stops it at once.
    QVERIFY(!lab.start(lab.sampleDir() + "/lab-test.json", {"--fault", "warp_speed=9"}));
    QVERIFY2(lab.lastError().startsWith("the lab ended"), qPrintable(lab.lastError()));
}

QTEST_GUILESS_MAIN(TestLabFaults)
#include "tst_labfaults.moc"
