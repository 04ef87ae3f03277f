// One lab device and its relay, driven the way the client drives them, and the lab's fault
// switches: what the client tests do not reach (range edges, paths that lead out, the relay's
// bound, switches set by configuration or command line). The switches the client tests lean on
// (delay, cut, malformed, off line, pacing, ignored ranges) are checked there, by the client's
// reaction to them.
#include "labtest.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTcpSocket>
#include <QtTest>

namespace {

QStringList names(const QJsonObject &reply, const char *list = "filelist", const char *key = "name")
{
    QStringList out;
    for (const QJsonValue &v : reply.value(list).toArray())
        out << v.toObject().value(key).toVariant().toString();
    return out;
}

QJsonObject faults(const QString &scope, const QJsonObject &set)
{
    return QJsonObject{{scope, set}};
}

} // namespace

class TestLabDevice : public LabTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rangeRequests_data();
    void rangeRequests();
    void traversalRefused();
    void relayForwards();
    void relayBoundedAndStopsCleanly();
    void accountSwitches();
    void forcedRet();
    void forcedRtnWithOptFilter();
    void configuredAndCommandLine();
    void cleanup() { QVERIFY(lab_.setFaults(QJsonObject())); }

private:
    QString mkdir(const QString &dirpath) const
    {
        return base(port("xctl")) +
               QStringLiteral("/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2&x-qm-devid="
                              "%1&x-qm-pri=1&x-qm-port=%2&userid=0&username=0&dirpath=")
                   .arg(kDevice)
                   .arg(port("xctl")) +
               dirpath;
    }
    QString hostPath(const QString &rel) const
    {
        return lab_.device(kDevice).value("root").toString() + QLatin1Char('/') + rel;
    }
};

void TestLabDevice::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
}

void TestLabDevice::rangeRequests_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("from"); // the body expected: bytes from .. to - 1
    QTest::addColumn<qint64>("to");
    QTest::newRow("none") << QByteArray() << 200 << 0ll << kBig;
    QTest::newRow("open end") << QByteArray("bytes=1000-") << 206 << 1000ll << kBig;
    QTest::newRow("first byte") << QByteArray("bytes=0-0") << 206 << 0ll << 1ll;
    QTest::newRow("suffix") << QByteArray("bytes=-500") << 206 << kBig - 500 << kBig;
    QTest::newRow("last byte") << "bytes=" + QByteArray::number(kBig - 1) + "-" << 206 << kBig - 1
                               << kBig;
    QTest::newRow("at the end") << "bytes=" + QByteArray::number(kBig) + "-" << 416 << 0ll << 0ll;
    QTest::newRow("far past") << QByteArray("bytes=99999999-") << 416 << 0ll << 0ll;
    // Several ranges get the whole file once: a hundred times one MiB for a header line of
    // 1 KB would turn the lab into an amplifier.
    QByteArray hundred = "bytes=0-1048575";
    for (int i = 1; i < 100; ++i)
        hundred += ",0-1048575";
    QTest::newRow("a hundred ranges") << hundred << 200 << 0ll << kBig;
    QTest::newRow("two ranges") << QByteArray("bytes=0-9,20-29") << 200 << 0ll << kBig;
}

void TestLabDevice::rangeRequests()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFile disk(hostPath(QStringLiteral("sda1/大文件 8MB.bin")));
    QVERIFY(disk.open(QIODevice::ReadOnly));
    QCOMPARE(disk.size(), kBig);
    const HttpSync::Result r = http_.get(
        base(port("http")) + kBigFile +
            QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2").arg(kDevice).arg(port("http")),
        range.isEmpty() ? HttpSync::Headers() : HttpSync::Headers{{"Range", range}});
    QCOMPARE(r.status, status);
    const QByteArray size = QByteArray::number(kBig);
    if (status == 416) {
        QCOMPARE(r.header("Content-Range"), "bytes */" + size);
        return;
    }
    if (status == 206)
        QCOMPARE(r.header("Content-Range"), "bytes " + QByteArray::number(from) + "-" +
                                                QByteArray::number(to - 1) + "/" + size);
    QVERIFY(disk.seek(from));
    QCOMPARE(r.body, disk.read(to - from));
}

void TestLabDevice::traversalRefused()
{
    const QString outside = QDir(lab_.sampleDir()).absoluteFilePath(QStringLiteral("lab.json"));
    QVERIFY(QFileInfo::exists(outside));
    for (const char *path :
         {"/media/sda1/../..", "/media/sda1/%2e%2e/%2e%2e", "/media/sda1/%2E%2E/sdb1", "/etc",
          "media/sda1", "/media/../media/sda1"})
        QVERIFY2(rtn(dlna("querydir", "&path=" + QString::fromLatin1(path))) == 2, path);
    for (const char *target :
         {"/media/sda1/%2e%2e/%2e%2e/%2e%2e/lab.json", "/media/sda1/..%2f..%2f..%2flab.json",
          "/etc/passwd", "/media/%2e%2e/etc/passwd"})
        QVERIFY2(status(base(port("http")) + QString::fromLatin1(target)) != 200, target);

    // A link inside a partition that leads out of it is not followed, by any service.
    QVERIFY(QFile::link(lab_.sampleDir(), hostPath(QStringLiteral("sda1/escape"))));
    QCOMPARE(rtn(dlna("querydir", "&path=/media/sda1/escape")), 2);
    QCOMPARE(status(base(port("http")) + QStringLiteral("/media/sda1/escape/lab.json")), 404);
    QCOMPARE(status(dlna("getfiledata", "&order=3&path=/media/sda1/escape/lab.json")), 404);
    QVERIFY(rtn(mkdir(QStringLiteral("/media/sda1/escape/made"))) != 0);
    QVERIFY(!QFileInfo::exists(lab_.sampleDir() + QStringLiteral("/made")));
    const QJsonObject del = get(dlna("delfileex", "&filelist=/media/sda1/escape/lab.json"));
    QCOMPARE(names(del, "resultlist", "result"), QStringList{"3"});
    QVERIFY(QFileInfo::exists(outside));
    for (const char *rest : {"uploadpath=/media/sda1/escape&file=planted.txt",
                             "uploadpath=/media/sda1&file=..%2Fplanted.txt"}) {
        const QString url = base(port("mps")) + QStringLiteral("/upload.csp?") + rest;
        QVERIFY2(http_.post(url, uploadForm("x"), kUploadHeaders).json().value("rtn").toInt() != 0,
                 rest);
    }
    QVERIFY(!QFileInfo::exists(lab_.sampleDir() + QStringLiteral("/planted.txt")));
    QVERIFY(!QFileInfo::exists(hostPath(QStringLiteral("planted.txt"))));
    QFile::remove(hostPath(QStringLiteral("sda1/escape")));

    // A NUL cuts nothing short: not an upload's name, not a path to delete or to fetch.
    const QString upload =
        base(port("mps")) + QStringLiteral("/upload.csp?uploadpath=/media/sda1&file=");
    QVERIFY(http_.post(upload + "nul.txt%00.jpg", uploadForm("x"), kUploadHeaders)
                .json()
                .value("rtn")
                .toInt() != 0);
    QVERIFY(!QFileInfo::exists(hostPath(QStringLiteral("sda1/nul.txt"))));
    QCOMPARE(http_.post(upload + "nul.txt", uploadForm("kept"), kUploadHeaders).json().value("rtn"),
             0);
    const QJsonObject cut = get(dlna("delfileex", "&filelist=/media/sda1/nul.txt%00/../../.."));
    QCOMPARE(names(cut, "resultlist", "result"), QStringList{"3"});
    QVERIFY(QFileInfo::exists(hostPath(QStringLiteral("sda1/nul.txt"))));
    QCOMPARE(status(base(port("http")) + QStringLiteral("/media/sda1/nul.txt%00.jpg")), 404);
    QCOMPARE(rtn(dlna("querydir", "&path=/media/sda1%00/../..")), 2);
    QFile::remove(hostPath(QStringLiteral("sda1/nul.txt")));
}

void TestLabDevice::relayForwards()
{
    QCOMPARE(get(dlna("querydir", "&path=/media/sda1/文档", true)),
             get(dlna("querydir", "&path=/media/sda1/文档")));
    // A ranged download through the relay; the relay logs it beside the device's own line.
    const QString file = kBigFile + QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2");
    const QString target = file.arg(kDevice).arg(port("http"));
    const HttpSync::Result part =
        http_.get(base(lab_.relayPort()) + target, {{"Range", "bytes=8000000-"}});
    QCOMPARE(part.status, 206);
    QCOMPARE(qint64(part.body.size()), kBig - 8000000);
    const QString line =
        QStringLiteral("%1 http GET %2 206 %3").arg(kDevice, target).arg(kBig - 8000000);
    QTRY_VERIFY_WITH_TIMEOUT(lab_.requestLog().contains("relay " + line), 10000);
    QVERIFY(lab_.requestLog().contains(line));

    // An unknown device, a port that is not the device's, no device: 502; off line: 503.
    const int offline = lab_.device(QStringLiteral("TVK0000000002")).value("http_port").toInt();
    QCOMPARE(status(base(lab_.relayPort()) + file.arg("TVK9999999999").arg(port("http"))), 502);
    QCOMPARE(status(base(lab_.relayPort()) + file.arg(kDevice).arg(lab_.accountPort())), 502);
    QCOMPARE(status(base(lab_.relayPort()) + QStringLiteral("/dlna.csp?opt=querydir")), 502);
    QCOMPARE(status(base(lab_.relayPort()) + file.arg("TVK0000000002").arg(offline)), 503);
    for (const char *pattern :
         {"^relay TVK9999999999 - GET .* 502 \\d+$", "^relay TVK0000000002 http GET .* 503 \\d+$"})
        QTRY_COMPARE_WITH_TIMEOUT(
            lab_.requestLog().filter(QRegularExpression(QString::fromLatin1(pattern))).size(), 1,
            10000);
}

// Each relayed connection has a thread; their number is bounded (the next connection hears 503
// at once) and stopping the lab ends them all, also those still waiting or sending.
void TestLabDevice::relayBoundedAndStopsCleanly()
{
    LabProcess lab;
    QVERIFY2(
        lab.startSample(QJsonObject{
            {"relay", QJsonObject{{"max_connections", 3}, {"rate_limit_bytes_per_s", 65536}}}}),
        qPrintable(lab.lastError()));
    const quint16 relay = quint16(lab.relayPort());
    QList<QTcpSocket *> idle;
    for (int i = 0; i < 2; ++i) {
        idle << new QTcpSocket(this);
        idle.last()->connectToHost(QHostAddress::LocalHost, relay);
        QVERIFY(idle.last()->waitForConnected(10000));
    }
    // The third: a slow download, under way.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, relay);
    QVERIFY(slow.waitForConnected(10000));
    slow.write("GET " + kBigFile.toUtf8() + "?x-qm-devid=" + kDevice.toUtf8() +
               "&x-qm-port=" + QByteArray::number(lab.device(kDevice).value("http_port").toInt()) +
               " HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(slow.waitForReadyRead(10000));
    // The fourth finds every thread taken.
    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, relay);
    QVERIFY(extra.waitForConnected(10000));
    extra.write("GET /x?x-qm-devid=" + kDevice.toUtf8() + " HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(extra.waitForReadyRead(10000));
    QVERIFY2(extra.readAll().startsWith("HTTP/1.1 503 "), "no answer while busy");

    QVERIFY(lab.stop()); // on SIGTERM, exit code 0, before the launcher's kill
    for (QTcpSocket *socket : idle + QList<QTcpSocket *>{&slow}) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            QVERIFY(socket->waitForDisconnected(10000));
    }
    qDeleteAll(idle);
}

void TestLabDevice::accountSwitches()
{
    QVERIFY(lab_.setFaults(faults("account", {{"force_code", 8}})));
    QCOMPARE(login(http_, lab_.accountUrl(), "demo", "demo123").value("code").toInt(), 8);
    QVERIFY(lab_.setFaults(faults("account", {{"delay_ms", 1500}})));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!session().isEmpty()); // the forced code is gone with the new set
    QVERIFY(clock.elapsed() >= 1400);
    QVERIFY(!lab_.setFaults(faults("account", {{"no_such_switch", 1}})));
}

void TestLabDevice::forcedRet()
{
    const QString s = session();
    QVERIFY(lab_.setFaults(faults("account", {{"ret", 3}})));
    const QJsonObject o = devices("sessionid=" + s.toLatin1() + "; userid=880000001");
    QCOMPARE(o.value("ret").toInt(), 3);
    QCOMPARE(o.value("devices").toArray().size(), 2); // the list is still there: only "ret" lies
}

void TestLabDevice::forcedRtnWithOptFilter()
{
    QVERIFY(lab_.setFaults(faults(kDevice, {{"rtn", 5}, {"opts", "get,querydir"}})));
    QCOMPARE(rtn(dlna("get", "&type=160560&start=0&count=10")), 5);
    QCOMPARE(rtn(dlna("querydir", "&path=")), 5);
    QCOMPARE(rtn(dlna("getusbinfo")), 0);
    // Another device is not touched.
    QCOMPARE(rtn(base(port("xctl", "TVK0000000003")) + "/dlna.csp?opt=querydir"), 0);
}

void TestLabDevice::configuredAndCommandLine()
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

QTEST_GUILESS_MAIN(TestLabDevice)
#include "tst_labdevice.moc"
