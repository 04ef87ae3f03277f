// Every fault switch of the lab, switched at run time, by configuration and on the command line.
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString kDevice = QStringLiteral("TVK0000000001");
const QString kBigFile = QStringLiteral("/media/sda1/%E5%A4%A7%E6%96%87%E4%BB%B6%208MB.bin");

QJsonObject faultsOf(const QString &scope, const QJsonObject &set)
{
    return QJsonObject{{scope, set}};
}

} // namespace

class TestLabFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void delay();
    void dropAfterBytes();
    void malformedJson_data();
    void malformedJson();
    void forcedRtnWithOptFilter();
    void forcedRet();
    void rateLimit();
    void ignoreRange();
    void offline();
    void configuredAndCommandLine();

private:
    QString xctl(const QString &rest) const
    {
        const int port = lab_.device(kDevice).value("xctl_port").toInt();
        return QStringLiteral(
                   "http://127.0.0.1:%1/dlna.csp?fname=dlna&x-qm-devid=%2&x-qm-pri=1&x-qm-port=%1&")
                   .arg(port)
                   .arg(kDevice) +
               rest;
    }
    QString file(const QString &path) const
    {
        return lab_.deviceUrl(kDevice, QStringLiteral("http")) + path;
    }
    QString session();
    LabProcess lab_;
    HttpSync http_;
};

void TestLabFaults::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
}

void TestLabFaults::cleanup()
{
    QVERIFY(lab_.setFaults(QJsonObject()));
}

void TestLabFaults::delay()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"delay_ms", 1200}})));
    QElapsedTimer clock;
    clock.start();
    const HttpSync::Result r = http_.get(HttpSync::url(xctl("opt=getusbinfo")));
    QCOMPARE(r.status, 200);
    QVERIFY(clock.elapsed() >= 1100);
}

void TestLabFaults::dropAfterBytes()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"drop_after_bytes", 100000}})));
    QByteArray got;
    const HttpSync::Result r =
        http_.stream(HttpSync::url(file(kBigFile)), [&](const QByteArray &b) { got += b; });
    // Qt 5.15 reports no error for a body cut short by a closed connection: only the length
    // against Content-Length tells.
    QCOMPARE(got.size(), 100000);
    QCOMPARE(r.header("Content-Length").toLongLong(), 8ll * 1024 * 1024);

    // The relay cuts its own stream too.
    QVERIFY(lab_.setFaults(faultsOf(QStringLiteral("relay"), {{"drop_after_bytes", 50000}})));
    got.clear();
    const QString relayed = lab_.relayUrl() + kBigFile +
                            QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2")
                                .arg(kDevice)
                                .arg(lab_.device(kDevice).value("http_port").toInt());
    const HttpSync::Result r2 =
        http_.stream(HttpSync::url(relayed), [&](const QByteArray &b) { got += b; });
    QVERIFY(!got.isEmpty());
    QVERIFY(got.size() < 50000);
}

void TestLabFaults::malformedJson_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("nonobject") << "nonobject";
    QTest::newRow("garbage") << "garbage";
}

void TestLabFaults::malformedJson()
{
    QFETCH(QString, kind);
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"malformed_json", kind}})));
    const HttpSync::Result r = http_.get(HttpSync::url(xctl("opt=querydir&path=")));
    QCOMPARE(r.status, 200);
    QVERIFY(!r.body.isEmpty());
    QVERIFY(!QJsonDocument::fromJson(r.body).isObject());
}

void TestLabFaults::forcedRtnWithOptFilter()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"rtn", 5}, {"opts", "get,querydir"}})));
    auto rtnOf = [&](const QString &rest) {
        return QJsonDocument::fromJson(http_.get(HttpSync::url(xctl(rest))).body)
            .object()
            .value("rtn")
            .toInt(-99);
    };
    QCOMPARE(rtnOf(QStringLiteral("opt=get&type=160560&start=0&count=10")), 5);
    QCOMPARE(rtnOf(QStringLiteral("opt=querydir&path=")), 5);
    QCOMPARE(rtnOf(QStringLiteral("opt=getusbinfo")), 0);
    // Another device is not touched.
    const QJsonObject other = lab_.device(QStringLiteral("TVK0000000003"));
    const QString url = QStringLiteral("http://127.0.0.1:%1/dlna.csp?opt=querydir&path=")
                            .arg(other.value("xctl_port").toInt());
    QCOMPARE(
        QJsonDocument::fromJson(http_.get(HttpSync::url(url)).body).object().value("rtn").toInt(),
        0);
}

QString TestLabFaults::session()
{
    const HttpSync::Result r = http_.post(
        QUrl(lab_.accountUrl() + QStringLiteral("/account/login")),
        "name=demo&password=demo123&client=81&version=1", "application/x-www-form-urlencoded");
    return QJsonDocument::fromJson(r.body).object().value("sessionid").toString();
}

void TestLabFaults::forcedRet()
{
    const QString s = session();
    QVERIFY(lab_.setFaults(faultsOf(QStringLiteral("account"), {{"ret", 3}})));
    const HttpSync::Result r = http_.get(
        QUrl(lab_.accountUrl() +
             QStringLiteral("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0")),
        {{"Cookie", "sessionid=" + s.toLatin1() + "; userid=880000001"}});
    const QJsonObject o = QJsonDocument::fromJson(r.body).object();
    QCOMPARE(o.value("ret").toInt(), 3);
    QVERIFY(o.value("devices").isArray()); // the list is still there: only "ret" lies
}

void TestLabFaults::rateLimit()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"rate_limit_bytes_per_s", 200000}})));
    QElapsedTimer clock;
    clock.start();
    const HttpSync::Result r =
        http_.get(HttpSync::url(file(kBigFile)), {{"Range", "bytes=0-399999"}});
    QCOMPARE(r.status, 206);
    QCOMPARE(r.body.size(), 400000);
    QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));

    // The relay paces what it forwards (head included) by its own switch.
    QVERIFY(
        lab_.setFaults(faultsOf(QStringLiteral("relay"), {{"rate_limit_bytes_per_s", 200000}})));
    const QString relayed = lab_.relayUrl() + kBigFile +
                            QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2")
                                .arg(kDevice)
                                .arg(lab_.device(kDevice).value("http_port").toInt());
    clock.restart();
    const HttpSync::Result r2 = http_.get(HttpSync::url(relayed), {{"Range", "bytes=0-399999"}});
    QCOMPARE(r2.status, 206);
    QCOMPARE(r2.body.size(), 400000);
    QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));
}

void TestLabFaults::ignoreRange()
{
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"ignore_range", true}})));
    const HttpSync::Result r = http_.get(HttpSync::url(file(kBigFile)), {{"Range", "bytes=1000-"}});
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body.size(), 8 * 1024 * 1024);
    QVERIFY(r.header("Content-Range").isEmpty());
}

void TestLabFaults::offline()
{
    const QString s = session();
    QVERIFY(lab_.setFaults(faultsOf(kDevice, {{"offline", true}})));
    QCOMPARE(http_.get(HttpSync::url(xctl("opt=getusbinfo"))).status, 503);
    const QString relayed =
        lab_.relayUrl() + QStringLiteral("/dlna.csp?opt=getusbinfo&x-qm-devid=%1&x-qm-port=%2")
                              .arg(kDevice)
                              .arg(lab_.device(kDevice).value("xctl_port").toInt());
    QCOMPARE(http_.get(HttpSync::url(relayed)).status, 503);
    const QJsonObject list =
        QJsonDocument::fromJson(
            http_
                .get(QUrl(lab_.accountUrl() +
                          QStringLiteral("/tovrik/user/querydevice?userid=880000001")),
                     {{"Cookie", "sessionid=" + s.toLatin1() + "; userid=880000001"}})
                .body)
            .object();
    QCOMPARE(list.value("devices").toArray()[0].toObject().value("onlinestatus").toInt(), 0);
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
    socket.writeDatagram(
        QByteArray("{\"type\":0,\"seq\":1}"), QHostAddress::LocalHost,
        static_cast<quint16>(lab_.device(kDevice).value("discovery_port").toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(socket.hasPendingDatagrams(), 10000);
    QTest::qWait(300);
    int answers = 0;
    while (socket.hasPendingDatagrams()) {
        const QJsonObject o = QJsonDocument::fromJson(socket.receiveDatagram().data()).object();
        QCOMPARE(o.value("id").toString(), QStringLiteral("TVK0000000003"));
        ++answers;
    }
    QCOMPARE(answers, 1);
}

void TestLabFaults::configuredAndCommandLine()
{
    // A switch in one device's configuration, narrowed to one of its services, beside switches
    // given on the command line.
    const QString config = lab_.sampleDir() + QStringLiteral("/lab-faults.json");
    {
        QFile in(lab_.sampleDir() + QStringLiteral("/lab-test.json"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QJsonObject written = LabProcess::merged(
            QJsonDocument::fromJson(in.readAll()).object(),
            QJsonObject{{"devices", QJsonArray{QJsonObject{
                                        {"id", "TVK0000000003"},
                                        {"faults", QJsonObject{{"rtn", 7}, {"only", "xctl"}}}}}}});
        QFile out(config);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(written).toJson());
    }
    QProcess lab;
    lab.start(LabProcess::labBinary(), {"--config", config, "--quiet", "--fault",
                                        kDevice + ":rtn=9", "--fault", "account:force_code=8"});
    QVERIFY(lab.waitForStarted());
    QJsonObject ready;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 lab.waitForReadyRead(100);
                                 const QByteArray line = lab.readLine();
                                 if (line.startsWith("LAB READY "))
                                     ready = QJsonDocument::fromJson(line.mid(10)).object();
                                 return !ready.isEmpty();
                             }()),
                             30000);
    const int xctl = ready.value("devices").toArray()[0].toObject().value("xctl_port").toInt();
    QCOMPARE(QJsonDocument::fromJson(
                 http_
                     .get(HttpSync::url(
                         QStringLiteral("http://127.0.0.1:%1/dlna.csp?opt=getusbinfo").arg(xctl)))
                     .body)
                 .object()
                 .value("rtn")
                 .toInt(),
             9);
    const HttpSync::Result login =
        http_.post(QUrl(QStringLiteral("http://127.0.0.1:%1/account/login")
                            .arg(ready.value("account_port").toInt())),
                   "name=demo&password=demo123", "application/x-www-form-urlencoded");
    QCOMPARE(QJsonDocument::fromJson(login.body).object().value("code").toInt(), 8);
    const QJsonObject third = ready.value("devices").toArray()[2].toObject();
    QCOMPARE(third.value("id").toString(), QStringLiteral("TVK0000000003"));
    auto rtnOf = [&](const HttpSync::Result &r) {
        return QJsonDocument::fromJson(r.body).object().value("rtn").toInt(-99);
    };
    QCOMPARE(
        rtnOf(http_.get(HttpSync::url(QStringLiteral("http://127.0.0.1:%1/dlna.csp?opt=getusbinfo")
                                          .arg(third.value("xctl_port").toInt())))),
        7);
    QCOMPARE(
        rtnOf(http_.post(
            HttpSync::url(
                QStringLiteral("http://127.0.0.1:%1/upload.csp?uploadpath=/media/sda1&file=x.txt")
                    .arg(third.value("mps_port").toInt())),
            "x", "application/octet-stream")),
        0);
    lab.terminate();
    QVERIFY(lab.waitForFinished(10000));
    QCOMPARE(lab.exitStatus(), QProcess::NormalExit);
    QCOMPARE(lab.exitCode(), 0);

    // A switch it does not know stops it at once.
    QProcess bad;
    bad.start(LabProcess::labBinary(), {"--config", config, "--fault", "warp_speed=9"});
    QVERIFY(bad.waitForFinished(30000));
    QVERIFY(bad.exitCode() != 0);
}

QTEST_GUILESS_MAIN(TestLabFaults)
#include "tst_labfaults.moc"
