// The device texts without a network: URL texts on both routes, the readers of the three
// replies, disk size and error texts, and file-name components made from device identifiers.
#include "tests/fuzz/fuzzers.h"

#include "device/bounddevicequery.h"
#include "device/devicepath.h"
#include "device/deviceurls.h"
#include "device/discoveryanswer.h"
#include "device/networkerrortext.h"
#include "device/usbinfo.h"

#include <QtTest>

namespace {

DeviceRecord record(bool local)
{
    DeviceRecord r;
    r.deviceid = "TVK1000A00000000001";
    r.isLocal = local;
    r.serverip = "10.9.9.9";
    r.serverport = 18090;
    r.intraip = "192.168.1.20";
    r.xctl_port = 18081;
    r.mps_port = 18082;
    r.http_port = 18083;
    return r;
}

QString ports(quint16 xctl, quint16 mps, quint16 http)
{
    return QString("%1,%2,%3").arg(xctl).arg(mps).arg(http);
}

// The readers' results with every field in one line (rows of a list on lines of their own),
// so one comparison checks them all; "fail" for a reply that is not usable.
QString bound(const QByteArray &body)
{
    const BoundDeviceQuery::Reply reply = BoundDeviceQuery::parse(body);
    QStringList rows;
    for (const DeviceRecord &d : reply.devices) {
        rows.append(QStringList{d.deviceid, d.aliasname,
                                d.serverip + ':' + QString::number(d.serverport), d.intraip,
                                ports(d.xctl_port, d.mps_port, d.http_port),
                                d.isLocal        ? "lan"
                                : d.onlinestatus ? "on"
                                                 : "off"}
                        .join('|'));
    }
    return reply.ok ? rows.join('\n') : "fail" + rows.join("");
}

QString boundList(const QByteArray &entries)
{
    return bound(R"({"ret":0,"devices":[)" + entries + "]}");
}

QString answer(const QByteArray &payload)
{
    const auto a = DiscoveryAnswer::parse(payload);
    return a ? QStringList{a->id, a->ip, ports(a->xctl_port, a->mps_port, a->http_port)}.join('|')
             : "fail";
}

// Partitions as letter:path:size:used, then the sums and the size text.
QString usb(const QByteArray &body)
{
    const auto info = UsbInfo::parse(body);
    if (!info)
        return "fail";
    QStringList parts;
    for (const UsbInfo::Partition &p : info->partitions)
        parts.append(
            QStringList{p.letter, p.path, QString::number(p.size), QString::number(p.used)}.join(
                ':'));
    return QStringList{parts.join(';'), QString::number(info->total), QString::number(info->used),
                       info->sizeText()}
        .join('|');
}

} // namespace

class TestDeviceTexts : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const char *prefix = "";
        auto row = [&prefix](const char *name, const QString &actual, const QString &expected) {
            QTest::addRow("%s%s", prefix, name) << actual << expected;
        };

        for (const bool local : {true, false}) {
            prefix = local ? "LAN, signed in: " : "relay, nobody signed in: ";
            const DeviceRecord d = record(local);
            DeviceUser u;
            if (local) {
                u.signedIn = true;
                u.userId = 18446744073709551615ULL;
                u.userName = "演示 user";
            }
            const QString origin = local ? "http://192.168.1.20:18081" : "http://10.9.9.9:18090";
            const QString user =
                local ? "&userid=18446744073709551615&username=演示 user" : "&userid=0&username=0";
            const QString relay = "&x-qm-devid=TVK1000A00000000001&x-qm-pri=1&x-qm-port=18081";
            const QString dlna = origin + "/dlna.csp?fname=dlna&opt=%1" + relay + user;
            row("dlna", DeviceUrls::dlnaUrl(d, "x", u), dlna.arg("x"));
            row("usbinfo", DeviceUrls::usbInfo(d, u), dlna.arg("getusbinfo"));
            row("querydir", DeviceUrls::queryDir(d, u, "/media/sda1", 0, 100),
                dlna.arg("querydir") + "&start=0&count=100&path=/media/sda1");
            row("get", DeviceUrls::fileList(d, u, 29489, 50, 100),
                dlna.arg("get") +
                    "&type=29489&start=50&count=100&sortby=time&sorttype=down&businesstype=1");
            row("getfiledata", DeviceUrls::fileData(d, u, "/media/a.jpg", 1, 5000000000ULL),
                dlna.arg("getfiledata") + "&order=1&size=5000000000&path=/media/a.jpg");
            row("getrealvideo", DeviceUrls::realVideo(d, u, 830, -1, 10, 20),
                dlna.arg("getrealvideo") +
                    "&type=830&start=10&count=20&seriesid=-1&sortby=1&sorttype=0&from=0&dpart=");
            row("delfileex", DeviceUrls::deleteFiles(d, u, "/media/a|/media/b"),
                dlna.arg("delfileex") + "&filelist=/media/a|/media/b");
            // The user query comes last here, after dirpath.
            row("mkdir", DeviceUrls::mkdir(d, u, "/m/n"),
                origin + "/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2" + relay +
                    "&dirpath=/m/n" + user);
            row("mps origin", d.serviceOrigin(d.mps_port),
                local ? "http://192.168.1.20:18082" : "http://10.9.9.9:18090");
            row("relay parameters", d.relayParameters(d.http_port),
                "x-qm-devid=TVK1000A00000000001&x-qm-pri=1&x-qm-port=18083");
        }
        prefix = "";

        DeviceRecord unset;
        const QString tail = "/dlna.csp?fname=dlna&opt=getusbinfo&x-qm-devid=&x-qm-pri=1"
                             "&x-qm-port=65535&userid=0&username=0";
        row("unset relay port", DeviceUrls::usbInfo(unset, DeviceUser()), "http://:65535" + tail);
        unset.isLocal = true;
        unset.intraip = "127.0.0.1";
        row("unset LAN port", DeviceUrls::usbInfo(unset, DeviceUser()),
            "http://127.0.0.1:65535" + tail);
        // Percent-encoded paths and odd identifiers hold "%1"-like text; the id and the name
        // have their '%' encoded (as the URL class would have done with these).
        DeviceRecord odd = record(true);
        odd.deviceid = "ID%1%2";
        DeviceUser oddUser;
        oddUser.signedIn = true;
        oddUser.userName = "%3";
        row("placeholders, querydir",
            DeviceUrls::queryDir(odd, oddUser, "/a%20b/%E4%B8%AD%1", 1, 2),
            "http://192.168.1.20:18081/dlna.csp?fname=dlna&opt=querydir&x-qm-devid=ID%251%252"
            "&x-qm-pri=1&x-qm-port=18081&userid=0&username=%253&start=1&count=2"
            "&path=/a%20b/%E4%B8%AD%1");
        // As sent: blanks are encoded, text already percent-encoded is kept.
        row("querydir as sent",
            QString::fromLatin1(
                DeviceUrls::toUrl(DeviceUrls::queryDir(odd, DeviceUser(), "/a b/%E4%B8%AD", 0, 1))
                    .toEncoded()),
            "http://192.168.1.20:18081/dlna.csp?fname=dlna&opt=querydir&x-qm-devid=ID%251%252"
            "&x-qm-pri=1&x-qm-port=18081&userid=0&username=0&start=0&count=1&path=/a%20b/"
            "%E4%B8%AD");
        row("placeholders, mkdir", DeviceUrls::mkdir(odd, DeviceUser(), "/x%2"),
            "http://192.168.1.20:18081/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2"
            "&x-qm-devid=ID%251%252&x-qm-pri=1&x-qm-port=18081&dirpath=/x%2&userid=0&username=0");

        row("bound, full", boundList(R"({"deviceid":"TVK1000A00000000001",
            "aliasname":"%E5%AE%A2%E5%8E%85 box","serverip":"127.0.0.1","serverport":18090,
            "intraip":"192.168.1.2","onlinestatus":1,
            "new_port_set":{"xctl_port":18081,"mps_port":18082,"http_port":18083}})"),
            "TVK1000A00000000001|客厅 box|127.0.0.1:18090|192.168.1.2|18081,18082,18083|on");
        // Empty or missing names fall back to 4 characters from index 14 (none for shorter
        // identifiers); no new_port_set gives ports 0, not the record's initial 65535.
        row("bound, empty name",
            boundList(R"({"deviceid":"TVK1000A000000QRST","aliasname":"","onlinestatus":0})"),
            "TVK1000A000000QRST|QRST|:0||0,0,0|off");
        row("bound, no name", boundList(R"({"deviceid":"TVK1000A000000XYZW9"})"),
            "TVK1000A000000XYZW9|XYZW|:0||0,0,0|off");
        row("bound, short ids in order",
            boundList(R"({"deviceid":"TVK0000000001"},{"deviceid":"12345678901234"},
                         {"deviceid":"123456789012345"})"),
            "TVK0000000001||:0||0,0,0|off\n12345678901234||:0||0,0,0|off\n"
            "123456789012345|5|:0||0,0,0|off");
        row("bound, mistyped", boundList(R"({"deviceid":"SHORT12345678","aliasname":"plain name",
            "serverport":70000,"onlinestatus":"1",
            "new_port_set":{"xctl_port":"18081","mps_port":-1,"http_port":1.5}})"),
            "SHORT12345678|plain name|:4464||0,65535,0|off");
        row("bound, broken escape", boundList(R"({"deviceid":"a","aliasname":"100%"})"),
            "a|100%|:0||0,0,0|off");
        row("bound, not objects", boundList(R"(1,"x",null)"),
            "||:0||0,0,0|off\n||:0||0,0,0|off\n||:0||0,0,0|off");
        row("bound, empty list", boundList(""), "");
        row("bound, no list", bound(R"({"ret":0})"), "");
        row("bound, array", bound(R"([{"ret":0}])"), "fail");
        row("bound, no ret", bound(R"({"devices":[]})"), "fail");
        row("bound, ret 1", bound(R"({"ret":1,"devices":[{"deviceid":"x"}]})"), "fail");
        row("bound, ret text", bound(R"({"ret":"0","devices":[]})"), "fail");

        row("answer, plain",
            answer(R"({"id":"TVK1","ip":"10.0.0.7","xctl_port":1,"mps_port":2,"http_port":3})"),
            "TVK1|10.0.0.7|1,2,3");
        // Mistyped values are kept as empty text and 0; ports are cut to 16 bits.
        row("answer, mistyped",
            answer(R"({"id":5,"ip":null,"xctl_port":"1","mps_port":65537,"http_port":-1})"),
            "||0,1,65535");
        row("answer, huge", answer(R"({"id":"","ip":"","xctl_port":1e300,"mps_port":-1e300,
                                       "http_port":4294967297})"),
            "||0,0,1");
        row("answer, no http_port", answer(R"({"id":"a","ip":"b","xctl_port":1,"mps_port":2})"),
            "fail");
        row("answer, no id", answer(R"({"ip":"b","xctl_port":1,"mps_port":2,"http_port":3})"),
            "fail");
        row("answer, array", answer(R"([{"id":"a"}])"), "fail");
        row("answer, request echo", answer(DiscoveryAnswer::request()), "fail");

        row("usb, two disks", usb(R"({"rtn":0,"disklist":[
            {"Partitionlist":[{"name":"A","letter":"E","path":"/media/sda1",
              "size":536870912000,"used":107374182400}]},
            {"Partitionlist":[{"name":"B","letter":"F","path":"/media/sdb1",
              "size":1099511627776,"used":"214748364800"}]}]})"),
            "E:/media/sda1:536870912000:107374182400;F:/media/sdb1:1099511627776:214748364800|"
            "1636382539776|322122547200|1224GB可用/1524GB");
        row("usb, empty disks", usb(R"({"rtn":0,"disklist":[{"Partitionlist":[]},{}]})"),
            "|0|0|0字节可用/0字节");
        row("usb, no disks", usb(R"({"rtn":0})"), "|0|0|0字节可用/0字节");
        // More used than present: no wrap-around into a huge free figure.
        row("usb, overused",
            usb(R"({"rtn":0,"disklist":[{"Partitionlist":[{"size":1000,"used":5000}]}]})"),
            "::1000:5000|1000|5000|0字节可用/1000字节");
        // Sums beyond 64 bits stay at the maximum; negative and non-numeric sizes read as 0.
        row("usb, overflow", usb(R"({"rtn":0,"disklist":[{"Partitionlist":[
            {"size":"18446744073709551615"},{"size":"18446744073709551615"},
            {"size":-5},{"size":"x"}]}]})"),
            "::18446744073709551615:0;::18446744073709551615:0;::0:0;::0:0|"
            "18446744073709551615|0|17179869183GB可用/17179869183GB");
        row("usb, rtn 1", usb(R"({"rtn":1,"disklist":[{"Partitionlist":[{"size":1,"used":0}]}]})"),
            "fail");
        row("usb, no rtn", usb(R"({"disklist":[{"Partitionlist":[{"size":1,"used":0}]}]})"),
            "fail");
        row("usb, rtn text", usb(R"({"rtn":"0"})"), "fail");
        row("usb, array", usb("[]"), "fail");

        row("size 0", formatDiskSize(0), "0字节");
        row("size 1024", formatDiskSize(1024), "1024字节");
        row("size 1025", formatDiskSize(1025), "1KB");
        row("size 2^20", formatDiskSize(1ULL << 20), "1024KB");
        row("size 2^20+1", formatDiskSize((1ULL << 20) + 1), "1MB");
        row("size 2^30", formatDiskSize(1ULL << 30), "1024MB");
        row("size 2^30+1", formatDiskSize((1ULL << 30) + 1), "1GB");
        row("size 1.9GB", formatDiskSize(2040109465ULL), "1GB");

        row("refused", networkErrorText(QNetworkReply::ConnectionRefusedError),
            "连接被拒绝，请检查设备是否在线");
        row("timeout", networkErrorText(QNetworkReply::TimeoutError), "连接超时");
        row("host not found", networkErrorText(QNetworkReply::HostNotFoundError), "");
        row("no error", networkErrorText(QNetworkReply::NoError), "");
    }
    void texts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // An id or a user name from outside stays one value whatever it holds: a server reading the
    // query finds each parameter once, with the text as given.
    void idAndNameStayOneValue()
    {
        DeviceRecord device = record(false);
        device.deviceid = "A&x-qm-port=1#f+;%41";
        DeviceUser user;
        user.signedIn = true;
        user.userId = 5;
        user.userName = "u&userid=9#;+ %E4 中";
        const QUrl url = DeviceUrls::toUrl(DeviceUrls::mkdir(device, user, "/a"));
        const QUrlQuery query(url);
        QCOMPARE(query.allQueryItemValues("x-qm-devid", QUrl::FullyDecoded),
                 QStringList{device.deviceid});
        QCOMPARE(query.allQueryItemValues("username", QUrl::FullyDecoded),
                 QStringList{user.userName});
        QCOMPARE(query.allQueryItemValues("x-qm-port"), QStringList{"18081"});
        QCOMPARE(query.allQueryItemValues("userid"), QStringList{"5"});
        QCOMPARE(url.fragment(), QString());
        // Ordinary ids and names are sent as they are.
        QCOMPARE(DeviceUrls::queryValue("TVK1000A00000000001"), "TVK1000A00000000001");
        QCOMPARE(DeviceUrls::queryValue("演示 user.name-1_2@x=y"), "演示 user.name-1_2@x=y");
    }

    void pathComponents_data()
    {
        QTest::addColumn<QString>("id");
        for (const char *id : {"..", ".", "", "../../etc", "/etc/passwd", "..\\..\\Windows",
                               "C:\\x", "abc.", "con", "LPT1", "设备/.."})
            QTest::newRow(id) << QString(id);
        QTest::newRow("control") << QString("a\nb\tc\x7f");
        QTest::newRow("nul") << QString::fromLatin1("a\0b", 3);
        QTest::newRow("long") << QString(5000, '/');
        QTest::newRow("long plain") << QString(300, 'a');
    }
    // A plain component (see isSafePathComponent): used as a folder below a data directory, it
    // stays inside it.
    void pathComponents()
    {
        QFETCH(QString, id);
        const QString name = safeDevicePathComponent(id);
        QVERIFY2(isSafePathComponent(name), qPrintable(name));
    }

    void pathComponentsStayDistinct()
    {
        QCOMPARE(safeDevicePathComponent("TVK1000A00000000001"), "TVK1000A00000000001");
        QCOMPARE(safeDevicePathComponent("a-b_C9"), "a-b_C9");
        const QStringList ids = {"a.b", "a%2Eb", "a/b", "a%2Fb", "..", "%2E%2E", "CON", "%43ON", "",
                                 "%", "a~b", "a%7Eb", QString(300, 'x'), QString(300, 'x') + 'y',
                                 // Unpaired surrogates (a JSON reply may carry them) differ from
                                 // each other and from what UTF-8 would make of them.
                                 QString("a") + QChar(0xD800), QString("a") + QChar(0xDBFF), "a?",
                                 "a%uD800", QString(300, 'x') + QChar(0xD800),
                                 QString(300, 'x') + QChar(0xDC00)};
        QSet<QString> names;
        for (const QString &id : ids)
            names.insert(safeDevicePathComponent(id));
        QCOMPARE(names.size(), ids.size());
    }
};

QTEST_GUILESS_MAIN(TestDeviceTexts)
#include "tst_devicetexts.moc"
