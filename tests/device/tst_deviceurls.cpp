#include "device/devicerecord.h"
#include "device/deviceurls.h"

#include <QtTest>

class TestDeviceUrls : public QObject
{
    Q_OBJECT

private:
    static DeviceRecord lanRecord()
    {
        DeviceRecord r;
        r.deviceid = QStringLiteral("TVK1000A00000000001");
        r.isLocal = true;
        r.serverip = QStringLiteral("10.9.9.9");
        r.serverport = 18090;
        r.intraip = QStringLiteral("192.168.1.20");
        r.xctl_port = 18081;
        r.mps_port = 18082;
        r.http_port = 18083;
        return r;
    }
    static DeviceRecord boundRecord()
    {
        DeviceRecord r = lanRecord();
        r.isLocal = false;
        return r;
    }
    static DeviceUser demo()
    {
        DeviceUser u;
        u.signedIn = true;
        u.userId = 18446744073709551615ULL;
        u.userName = QStringLiteral("演示 user");
        u.sessionId = QStringLiteral("s1");
        return u;
    }

private slots:
    void userQuery()
    {
        QCOMPARE(DeviceUrls::userQuery(DeviceUser()), QStringLiteral("&userid=0&username=0"));
        QCOMPARE(DeviceUrls::userQuery(demo()),
                 QStringLiteral("&userid=18446744073709551615&username=演示 user"));
    }

    void lanRoute()
    {
        const QString user = QStringLiteral("&userid=18446744073709551615&username=演示 user");
        const QString base = QStringLiteral(
            "http://192.168.1.20:18081/dlna.csp?fname=dlna&opt=%1&x-qm-devid=TVK1000A00000000001"
            "&x-qm-pri=1&x-qm-port=18081");
        const DeviceRecord d = lanRecord();
        const DeviceUser u = demo();
        QCOMPARE(DeviceUrls::dlnaUrl(d, QStringLiteral("x"), u),
                 base.arg(QStringLiteral("x")) + user);
        QCOMPARE(DeviceUrls::usbInfo(d, u), base.arg(QStringLiteral("getusbinfo")) + user);
        QCOMPARE(DeviceUrls::queryDir(d, u, QStringLiteral("/media/sda1"), 0, 100),
                 base.arg(QStringLiteral("querydir")) + user +
                     QStringLiteral("&start=0&count=100&path=/media/sda1"));
        QCOMPARE(DeviceUrls::fileList(d, u, 29489, 50, 100),
                 base.arg(QStringLiteral("get")) + user +
                     QStringLiteral("&type=29489&start=50&count=100&sortby=time&sorttype=down"
                                    "&businesstype=1"));
        QCOMPARE(DeviceUrls::fileData(d, u, QStringLiteral("/media/a.jpg"), 1, 5000000000ULL),
                 base.arg(QStringLiteral("getfiledata")) + user +
                     QStringLiteral("&order=1&size=5000000000&path=/media/a.jpg"));
        QCOMPARE(DeviceUrls::realVideo(d, u, 830, -1, 0, 20),
                 base.arg(QStringLiteral("getrealvideo")) + user +
                     QStringLiteral("&type=830&start=0&count=20&seriesid=-1&sortby=1&sorttype=0"
                                    "&from=0&dpart="));
        QCOMPARE(DeviceUrls::deleteFiles(d, u, QStringLiteral("/media/a|/media/b")),
                 base.arg(QStringLiteral("delfileex")) + user +
                     QStringLiteral("&filelist=/media/a|/media/b"));
        // The user query comes last here, after dirpath.
        QCOMPARE(DeviceUrls::mkdir(d, u, QStringLiteral("/media/sda1/new")),
                 QStringLiteral("http://192.168.1.20:18081/protocol.csp?fname=storage"
                                "&opt=recursive_mkdir&resp_t=2&x-qm-devid=TVK1000A00000000001"
                                "&x-qm-pri=1&x-qm-port=18081&dirpath=/media/sda1/new") +
                     user);
    }

    void boundRoute()
    {
        const DeviceRecord d = boundRecord();
        const DeviceUser none;
        const QString base = QStringLiteral(
            "http://10.9.9.9:18090/dlna.csp?fname=dlna&opt=%1&x-qm-devid=TVK1000A00000000001"
            "&x-qm-pri=1&x-qm-port=18081&userid=0&username=0");
        QCOMPARE(DeviceUrls::usbInfo(d, none), base.arg(QStringLiteral("getusbinfo")));
        QCOMPARE(DeviceUrls::queryDir(d, none, QString(), 0, 100),
                 base.arg(QStringLiteral("querydir")) + QStringLiteral("&start=0&count=100&path="));
        QCOMPARE(DeviceUrls::fileList(d, none, 160560, 0, 50),
                 base.arg(QStringLiteral("get")) +
                     QStringLiteral("&type=160560&start=0&count=50&sortby=time&sorttype=down"
                                    "&businesstype=1"));
        QCOMPARE(DeviceUrls::fileData(d, none, QStringLiteral("/m/p.png"), 3, 10),
                 base.arg(QStringLiteral("getfiledata")) +
                     QStringLiteral("&order=3&size=10&path=/m/p.png"));
        QCOMPARE(DeviceUrls::realVideo(d, none, 830, 7, 10, 30),
                 base.arg(QStringLiteral("getrealvideo")) +
                     QStringLiteral("&type=830&start=10&count=30&seriesid=7&sortby=1&sorttype=0"
                                    "&from=0&dpart="));
        QCOMPARE(DeviceUrls::deleteFiles(d, none, QStringLiteral("/x")),
                 base.arg(QStringLiteral("delfileex")) + QStringLiteral("&filelist=/x"));
        QCOMPARE(DeviceUrls::mkdir(d, none, QStringLiteral("/m/n")),
                 QStringLiteral("http://10.9.9.9:18090/protocol.csp?fname=storage"
                                "&opt=recursive_mkdir&resp_t=2&x-qm-devid=TVK1000A00000000001"
                                "&x-qm-pri=1&x-qm-port=18081&dirpath=/m/n&userid=0&username=0"));
    }

    void routeHelpers()
    {
        const DeviceRecord lan = lanRecord();
        const DeviceRecord bound = boundRecord();
        QCOMPARE(lan.serviceOrigin(lan.mps_port), QStringLiteral("http://192.168.1.20:18082"));
        QCOMPARE(bound.serviceOrigin(bound.mps_port), QStringLiteral("http://10.9.9.9:18090"));
        QCOMPARE(bound.relayParameters(bound.http_port),
                 QStringLiteral("x-qm-devid=TVK1000A00000000001&x-qm-pri=1&x-qm-port=18083"));
    }

    void unsetPortsAre65535()
    {
        DeviceRecord lan;
        lan.isLocal = true;
        lan.intraip = QStringLiteral("127.0.0.1");
        QCOMPARE(DeviceUrls::usbInfo(lan, DeviceUser()),
                 QStringLiteral("http://127.0.0.1:65535/dlna.csp?fname=dlna&opt=getusbinfo"
                                "&x-qm-devid=&x-qm-pri=1&x-qm-port=65535&userid=0&username=0"));
        DeviceRecord bound;
        QCOMPARE(DeviceUrls::usbInfo(bound, DeviceUser()),
                 QStringLiteral("http://:65535/dlna.csp?fname=dlna&opt=getusbinfo"
                                "&x-qm-devid=&x-qm-pri=1&x-qm-port=65535&userid=0&username=0"));
    }

    void placeholdersInValuesStayAsWritten()
    {
        // Percent-encoded paths and odd identifiers hold "%1"-like text.
        DeviceRecord d = lanRecord();
        d.deviceid = QStringLiteral("ID%1%2");
        DeviceUser u = demo();
        u.userName = QStringLiteral("%3");
        const QString url = DeviceUrls::queryDir(d, u, QStringLiteral("/a%20b/%E4%B8%AD%1"), 1, 2);
        QCOMPARE(url, QStringLiteral("http://192.168.1.20:18081/dlna.csp?fname=dlna&opt=querydir"
                                     "&x-qm-devid=ID%1%2&x-qm-pri=1&x-qm-port=18081"
                                     "&userid=18446744073709551615&username=%3"
                                     "&start=1&count=2&path=/a%20b/%E4%B8%AD%1"));
        QCOMPARE(DeviceUrls::mkdir(d, DeviceUser(), QStringLiteral("/x%2")),
                 QStringLiteral("http://192.168.1.20:18081/protocol.csp?fname=storage"
                                "&opt=recursive_mkdir&resp_t=2&x-qm-devid=ID%1%2&x-qm-pri=1"
                                "&x-qm-port=18081&dirpath=/x%2&userid=0&username=0"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceUrls)
#include "tst_deviceurls.moc"
