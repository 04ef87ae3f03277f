// The device texts without a network: URL texts on both routes, the readers of the three
// replies, disk size and error texts, and file-name components made from device identifiers.
#include "fuzz/devicefuzzers.h"

#include "device/bounddevicequery.h"
#include "device/devicepath.h"
#include "device/deviceurls.h"
#include "device/discoveryanswer.h"
#include "device/networkerrortext.h"
#include "device/usbinfo.h"

#include <QtTest>

namespace {

const QString id1 = QStringLiteral("TVK1000A00000000001");

DeviceRecord record(bool local)
{
    DeviceRecord r;
    r.deviceid = id1;
    r.isLocal = local;
    r.serverip = QStringLiteral("10.9.9.9");
    r.serverport = 18090;
    r.intraip = QStringLiteral("192.168.1.20");
    r.xctl_port = 18081;
    r.mps_port = 18082;
    r.http_port = 18083;
    return r;
}

DeviceUser demo()
{
    DeviceUser u;
    u.signedIn = true;
    u.userId = 18446744073709551615ULL;
    u.userName = QStringLiteral("演示 user");
    return u;
}

QString ports(quint16 xctl, quint16 mps, quint16 http)
{
    return QStringLiteral("%1,%2,%3").arg(xctl).arg(mps).arg(http);
}

// Every field in one line, so one comparison checks them all.
QString summary(const DeviceRecord &d)
{
    return QStringList{d.deviceid,
                       d.aliasname,
                       d.serverip + QLatin1Char(':') + QString::number(d.serverport),
                       d.intraip,
                       ports(d.xctl_port, d.mps_port, d.http_port),
                       QLatin1String(d.onlinestatus ? "on" : "off") +
                           QLatin1String(d.isLocal ? " lan" : "")}
        .join(QLatin1Char('|'));
}

QByteArray boundList(const QByteArray &entries)
{
    return R"({"ret":0,"devices":[)" + entries + "]}";
}

} // namespace

class TestDeviceTexts : public QObject
{
    Q_OBJECT

private slots:
    void urls_data()
    {
        QTest::addColumn<bool>("local");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("mpsOrigin");
        QTest::addColumn<QString>("user");
        QTest::newRow("LAN, signed in")
            << true << QStringLiteral("http://192.168.1.20:18081")
            << QStringLiteral("http://192.168.1.20:18082")
            << QStringLiteral("&userid=18446744073709551615&username=演示 user");
        QTest::newRow("relay, nobody signed in")
            << false << QStringLiteral("http://10.9.9.9:18090")
            << QStringLiteral("http://10.9.9.9:18090") << QStringLiteral("&userid=0&username=0");
    }
    void urls()
    {
        QFETCH(bool, local);
        QFETCH(QString, origin);
        QFETCH(QString, mpsOrigin);
        QFETCH(QString, user);
        const DeviceRecord d = record(local);
        const DeviceUser u = local ? demo() : DeviceUser();
        const QString relay = QStringLiteral("&x-qm-devid=%1&x-qm-pri=1&x-qm-port=18081").arg(id1);
        const QString dlna = origin + QStringLiteral("/dlna.csp?fname=dlna&opt=%1") + relay + user;
        QCOMPARE(DeviceUrls::dlnaUrl(d, QStringLiteral("x"), u), dlna.arg(QStringLiteral("x")));
        QCOMPARE(DeviceUrls::usbInfo(d, u), dlna.arg(QStringLiteral("getusbinfo")));
        QCOMPARE(DeviceUrls::queryDir(d, u, QStringLiteral("/media/sda1"), 0, 100),
                 dlna.arg(QStringLiteral("querydir")) +
                     QStringLiteral("&start=0&count=100&path=/media/sda1"));
        QCOMPARE(DeviceUrls::fileList(d, u, 29489, 50, 100),
                 dlna.arg(QStringLiteral("get")) +
                     QStringLiteral("&type=29489&start=50&count=100&sortby=time&sorttype=down"
                                    "&businesstype=1"));
        QCOMPARE(DeviceUrls::fileData(d, u, QStringLiteral("/media/a.jpg"), 1, 5000000000ULL),
                 dlna.arg(QStringLiteral("getfiledata")) +
                     QStringLiteral("&order=1&size=5000000000&path=/media/a.jpg"));
        QCOMPARE(DeviceUrls::realVideo(d, u, 830, -1, 10, 20),
                 dlna.arg(QStringLiteral("getrealvideo")) +
                     QStringLiteral("&type=830&start=10&count=20&seriesid=-1&sortby=1&sorttype=0"
                                    "&from=0&dpart="));
        QCOMPARE(DeviceUrls::deleteFiles(d, u, QStringLiteral("/media/a|/media/b")),
                 dlna.arg(QStringLiteral("delfileex")) +
                     QStringLiteral("&filelist=/media/a|/media/b"));
        // The user query comes last here, after dirpath.
        QCOMPARE(DeviceUrls::mkdir(d, u, QStringLiteral("/m/n")),
                 origin +
                     QStringLiteral("/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2") +
                     relay + QStringLiteral("&dirpath=/m/n") + user);
        QCOMPARE(d.serviceOrigin(d.mps_port), mpsOrigin);
        QCOMPARE(d.relayParameters(d.http_port),
                 QStringLiteral("x-qm-devid=%1&x-qm-pri=1&x-qm-port=18083").arg(id1));
    }

    void unsetPortsAre65535()
    {
        const QString tail = QStringLiteral("/dlna.csp?fname=dlna&opt=getusbinfo&x-qm-devid="
                                            "&x-qm-pri=1&x-qm-port=65535&userid=0&username=0");
        DeviceRecord d;
        QCOMPARE(DeviceUrls::usbInfo(d, DeviceUser()), QStringLiteral("http://:65535") + tail);
        d.isLocal = true;
        d.intraip = QStringLiteral("127.0.0.1");
        QCOMPARE(DeviceUrls::usbInfo(d, DeviceUser()),
                 QStringLiteral("http://127.0.0.1:65535") + tail);
    }

    void placeholdersInValuesStayAsWritten()
    {
        // Percent-encoded paths and odd identifiers hold "%1"-like text.
        DeviceRecord d = record(true);
        d.deviceid = QStringLiteral("ID%1%2");
        DeviceUser u = demo();
        u.userName = QStringLiteral("%3");
        QCOMPARE(DeviceUrls::queryDir(d, u, QStringLiteral("/a%20b/%E4%B8%AD%1"), 1, 2),
                 QStringLiteral("http://192.168.1.20:18081/dlna.csp?fname=dlna&opt=querydir"
                                "&x-qm-devid=ID%1%2&x-qm-pri=1&x-qm-port=18081"
                                "&userid=18446744073709551615&username=%3"
                                "&start=1&count=2&path=/a%20b/%E4%B8%AD%1"));
        QCOMPARE(DeviceUrls::mkdir(d, DeviceUser(), QStringLiteral("/x%2")),
                 QStringLiteral("http://192.168.1.20:18081/protocol.csp?fname=storage"
                                "&opt=recursive_mkdir&resp_t=2&x-qm-devid=ID%1%2&x-qm-pri=1"
                                "&x-qm-port=18081&dirpath=/x%2&userid=0&username=0"));
    }

    // Rows of a usable reply one summary a line; "fail" for an unusable one.
    void boundReply_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("rows");
        QTest::newRow("full") << boundList(R"({"deviceid":"TVK1000A00000000001",
            "aliasname":"%E5%AE%A2%E5%8E%85 box","serverip":"127.0.0.1","serverport":18090,
            "intraip":"192.168.1.2","onlinestatus":1,
            "new_port_set":{"xctl_port":18081,"mps_port":18082,"http_port":18083}})")
                              << QStringLiteral("TVK1000A00000000001|客厅 box|127.0.0.1:18090|"
                                                "192.168.1.2|18081,18082,18083|on");
        // Empty or missing names fall back to 4 characters from index 14; no new_port_set
        // gives ports 0, not the record's initial 65535.
        QTest::newRow("empty name")
            << boundList(R"({"deviceid":"TVK1000A000000QRST","aliasname":"","onlinestatus":0})")
            << QStringLiteral("TVK1000A000000QRST|QRST|:0||0,0,0|off");
        QTest::newRow("no name") << boundList(R"({"deviceid":"TVK1000A000000XYZW9"})")
                                 << QStringLiteral("TVK1000A000000XYZW9|XYZW|:0||0,0,0|off");
        QTest::newRow("mistyped") << boundList(R"({"deviceid":"SHORT12345678",
            "aliasname":"plain name","serverport":70000,"onlinestatus":"1",
            "new_port_set":{"xctl_port":"18081","mps_port":-1,"http_port":1.5}})")
                                  << QStringLiteral(
                                         "SHORT12345678|plain name|:4464||0,65535,0|off");
        QTest::newRow("short ids in order")
            << boundList(R"({"deviceid":"TVK0000000001"},{"deviceid":"12345678901234"},
                            {"deviceid":"123456789012345"})")
            << QStringLiteral("TVK0000000001||:0||0,0,0|off\n12345678901234||:0||0,0,0|off\n"
                              "123456789012345|5|:0||0,0,0|off");
        QTest::newRow("broken escape") << boundList(R"({"deviceid":"a","aliasname":"100%"})")
                                       << QStringLiteral("a|100%|:0||0,0,0|off");
        QTest::newRow("not objects") << boundList(R"(1,"x",null)")
                                     << QStringLiteral("||:0||0,0,0|off\n||:0||0,0,0|off\n"
                                                       "||:0||0,0,0|off");
        QTest::newRow("empty list") << boundList("") << QString();
        QTest::newRow("no list") << QByteArray(R"({"ret":0})") << QString();
        const QString fail = QStringLiteral("fail");
        QTest::newRow("empty body") << QByteArray() << fail;
        QTest::newRow("garbage") << QByteArray("<html>") << fail;
        QTest::newRow("array") << QByteArray(R"([{"ret":0}])") << fail;
        QTest::newRow("no ret") << QByteArray(R"({"devices":[]})") << fail;
        QTest::newRow("ret 1") << QByteArray(R"({"ret":1,"devices":[{"deviceid":"x"}]})") << fail;
        QTest::newRow("ret text") << QByteArray(R"({"ret":"0","devices":[]})") << fail;
        QTest::newRow("truncated") << QByteArray(R"({"ret":0,"devices":[)") << fail;
    }
    void boundReply()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, rows);
        const BoundDeviceQuery::Reply reply = BoundDeviceQuery::parse(body);
        QStringList lines;
        for (const DeviceRecord &device : reply.devices)
            lines.append(summary(device));
        QCOMPARE(reply.ok ? lines.join(QLatin1Char('\n')) : QStringLiteral("fail") + lines.join(""),
                 rows);
    }

    void discoveryAnswer_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("answer");
        QTest::newRow("plain")
            << QByteArray(
                   R"({"id":"TVK1","ip":"10.0.0.7","xctl_port":1,"mps_port":2,"http_port":3})")
            << QStringLiteral("TVK1|10.0.0.7|1,2,3");
        // Mistyped values are kept as empty text and 0; ports are cut to 16 bits.
        QTest::newRow("mistyped")
            << QByteArray(R"({"id":5,"ip":null,"xctl_port":"1","mps_port":65537,"http_port":-1})")
            << QStringLiteral("||0,1,65535");
        QTest::newRow("huge") << QByteArray(R"({"id":"","ip":"","xctl_port":1e300,
            "mps_port":-1e300,"http_port":4294967297})")
                              << QStringLiteral("||0,0,1");
        const QString none = QStringLiteral("none");
        QTest::newRow("no http_port")
            << QByteArray(R"({"id":"a","ip":"b","xctl_port":1,"mps_port":2})") << none;
        QTest::newRow("no id") << QByteArray(
                                      R"({"ip":"b","xctl_port":1,"mps_port":2,"http_port":3})")
                               << none;
        QTest::newRow("array") << QByteArray(R"([{"id":"a"}])") << none;
        QTest::newRow("request echo") << DiscoveryAnswer::request() << none;
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("binary") << QByteArray("\x00\xff\x01", 3) << none;
    }
    void discoveryAnswer()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, answer);
        const auto a = DiscoveryAnswer::parse(payload);
        const QStringList fields{a ? a->id : QStringLiteral("none"), a ? a->ip : QString(),
                                 a ? ports(a->xctl_port, a->mps_port, a->http_port) : QString()};
        QCOMPARE(a ? fields.join(QLatin1Char('|')) : fields.first(), answer);
    }

    // Partitions as letter:path:size:used, then the sums and the size text.
    void usbInfo_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("info");
        QTest::newRow("two disks") << QByteArray(R"({"rtn":0,"disklist":[
            {"Partitionlist":[{"name":"A","letter":"E","path":"/media/sda1",
              "size":536870912000,"used":107374182400}]},
            {"Partitionlist":[{"name":"B","letter":"F","path":"/media/sdb1",
              "size":1099511627776,"used":"214748364800"}]}]})")
                                   << QStringLiteral("E:/media/sda1:536870912000:107374182400;"
                                                     "F:/media/sdb1:1099511627776:214748364800|"
                                                     "1636382539776|322122547200|"
                                                     "1224GB可用/1524GB");
        QTest::newRow("empty disks")
            << QByteArray(R"({"rtn":0,"disklist":[{"Partitionlist":[]},{}]})")
            << QStringLiteral("|0|0|0字节可用/0字节");
        QTest::newRow("no disks") << QByteArray(R"({"rtn":0})")
                                  << QStringLiteral("|0|0|0字节可用/0字节");
        // More used than present: no wrap-around into a huge free figure.
        QTest::newRow("overused")
            << QByteArray(R"({"rtn":0,"disklist":[{"Partitionlist":[{"size":1000,"used":5000}]}]})")
            << QStringLiteral("::1000:5000|1000|5000|0字节可用/1000字节");
        // Sums beyond 64 bits stay at the maximum; negative and non-numeric sizes read as 0.
        QTest::newRow("overflow") << QByteArray(R"({"rtn":0,"disklist":[{"Partitionlist":[
            {"size":"18446744073709551615"},{"size":"18446744073709551615"},
            {"size":-5},{"size":"x"}]}]})")
                                  << QStringLiteral("::18446744073709551615:0;"
                                                    "::18446744073709551615:0;::0:0;::0:0|"
                                                    "18446744073709551615|0|"
                                                    "17179869183GB可用/17179869183GB");
        const QString none = QStringLiteral("none");
        QTest::newRow("rtn 1")
            << QByteArray(R"({"rtn":1,"disklist":[{"Partitionlist":[{"size":1,"used":0}]}]})")
            << none;
        QTest::newRow("no rtn") << QByteArray(
                                       R"({"disklist":[{"Partitionlist":[{"size":1,"used":0}]}]})")
                                << none;
        QTest::newRow("rtn text") << QByteArray(R"({"rtn":"0"})") << none;
        QTest::newRow("not json") << QByteArray("oops") << none;
        QTest::newRow("array") << QByteArray("[]") << none;
    }
    void usbInfo()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, info);
        const auto parsed = UsbInfo::parse(body);
        QString text = QStringLiteral("none");
        if (parsed) {
            QStringList parts;
            for (const UsbInfo::Partition &p : parsed->partitions)
                parts.append(
                    QStringList{p.letter, p.path, QString::number(p.size), QString::number(p.used)}
                        .join(QLatin1Char(':')));
            text = QStringList{parts.join(QLatin1Char(';')), QString::number(parsed->total),
                               QString::number(parsed->used), parsed->sizeText()}
                       .join(QLatin1Char('|'));
        }
        QCOMPARE(text, info);
    }

    void diskSizes_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0ULL << QStringLiteral("0字节");
        QTest::newRow("1024") << 1024ULL << QStringLiteral("1024字节");
        QTest::newRow("1025") << 1025ULL << QStringLiteral("1KB");
        QTest::newRow("2^20") << (1ULL << 20) << QStringLiteral("1024KB");
        QTest::newRow("2^20+1") << (1ULL << 20) + 1 << QStringLiteral("1MB");
        QTest::newRow("2^30") << (1ULL << 30) << QStringLiteral("1024MB");
        QTest::newRow("2^30+1") << (1ULL << 30) + 1 << QStringLiteral("1GB");
        QTest::newRow("1.9GB") << 2040109465ULL << QStringLiteral("1GB");
    }
    void diskSizes()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatDiskSize(bytes), text);
    }

    void networkErrorTexts()
    {
        QCOMPARE(networkErrorText(QNetworkReply::ConnectionRefusedError),
                 QStringLiteral("连接被拒绝，请检查设备是否在线"));
        QCOMPARE(networkErrorText(QNetworkReply::TimeoutError), QStringLiteral("连接超时"));
        QCOMPARE(networkErrorText(QNetworkReply::HostNotFoundError), QString());
        QCOMPARE(networkErrorText(QNetworkReply::NoError), QString());
    }

    void pathComponents_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("dotdot") << QStringLiteral("..");
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("empty") << QString();
        QTest::newRow("parent path") << QStringLiteral("../../etc");
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd");
        QTest::newRow("backslash") << QStringLiteral("..\\..\\Windows");
        QTest::newRow("drive") << QStringLiteral("C:\\x");
        QTest::newRow("nul") << QString::fromLatin1("a\0b", 3);
        QTest::newRow("control") << QStringLiteral("a\nb\tc\x7f");
        QTest::newRow("trailing dot") << QStringLiteral("abc.");
        QTest::newRow("reserved") << QStringLiteral("con");
        QTest::newRow("reserved upper") << QStringLiteral("LPT1");
        QTest::newRow("unicode") << QStringLiteral("设备/..");
        QTest::newRow("long") << QString(5000, QLatin1Char('/'));
        QTest::newRow("long plain") << QString(300, QLatin1Char('a'));
    }
    void pathComponents()
    {
        QFETCH(QString, id);
        const QString name = safeDevicePathComponent(id);
        QVERIFY2(isSafePathComponent(name), qPrintable(name));
        // Used as a folder below a data directory, it stays inside it.
        QTemporaryDir data;
        QVERIFY(data.isValid());
        const QString folder = QDir(data.path()).filePath(name);
        QCOMPARE(QFileInfo(QDir::cleanPath(folder)).dir().absolutePath(),
                 QDir(data.path()).absolutePath());
        QVERIFY(QDir().mkpath(folder));
        QFile probe(folder + QStringLiteral("/probe"));
        QVERIFY(probe.open(QIODevice::WriteOnly));
        QCOMPARE(QDir(data.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    void pathComponentsStayDistinct()
    {
        QCOMPARE(safeDevicePathComponent(id1), id1);
        QCOMPARE(safeDevicePathComponent(QStringLiteral("a-b_C9")), QStringLiteral("a-b_C9"));
        const QStringList ids = {
            QStringLiteral("a.b"),   QStringLiteral("a%2Eb"), QStringLiteral("a/b"),
            QStringLiteral("a%2Fb"), QStringLiteral(".."),    QStringLiteral("%2E%2E"),
            QStringLiteral("CON"),   QStringLiteral("%43ON"), QString(),
            QStringLiteral("%"),     QString(300, 'x'),       QString(300, 'x') + QLatin1Char('y'),
            QStringLiteral("a~b"),   QStringLiteral("a%7Eb")};
        QSet<QString> names;
        for (const QString &id : ids)
            names.insert(safeDevicePathComponent(id));
        QCOMPARE(names.size(), ids.size());
    }
};

QTEST_GUILESS_MAIN(TestDeviceTexts)
#include "tst_devicetexts.moc"
