#include "device/bounddevicequery.h"
#include "device/discoveryanswer.h"
#include "device/networkerrortext.h"
#include "device/usbinfo.h"

#include <QtTest>

class TestDeviceParsers : public QObject
{
    Q_OBJECT

private slots:
    void boundReplyFull()
    {
        const QByteArray body = R"({"ret":0,"devices":[
            {"deviceid":"TVK1000A00000000001","aliasname":"%E5%AE%A2%E5%8E%85 box",
             "serverip":"127.0.0.1","serverport":18090,"intraip":"192.168.1.2",
             "onlinestatus":1,"new_port_set":{"xctl_port":18081,"mps_port":18082,
             "http_port":18083}},
            {"deviceid":"TVK1000A000000QRST","aliasname":"","onlinestatus":0},
            {"deviceid":"TVK1000A000000XYZW9"},
            {"deviceid":"SHORT12345678","aliasname":"plain name","serverport":70000,
             "onlinestatus":"1","new_port_set":{"xctl_port":"18081","mps_port":-1,
             "http_port":1.5}}]})";
        const auto reply = BoundDeviceQuery::parse(body);
        QVERIFY(reply.ok);
        QCOMPARE(reply.devices.size(), 4);
        const DeviceRecord &a = reply.devices.at(0);
        QCOMPARE(a.deviceid, QStringLiteral("TVK1000A00000000001"));
        QCOMPARE(a.aliasname, QStringLiteral("客厅 box"));
        QCOMPARE(a.serverip, QStringLiteral("127.0.0.1"));
        QCOMPARE(a.serverport, quint16(18090));
        QCOMPARE(a.intraip, QStringLiteral("192.168.1.2"));
        QCOMPARE(a.xctl_port, quint16(18081));
        QCOMPARE(a.mps_port, quint16(18082));
        QCOMPARE(a.http_port, quint16(18083));
        QVERIFY(a.onlinestatus);
        QVERIFY(!a.isLocal);

        // Empty or missing names fall back to 4 characters from index 14.
        QCOMPARE(reply.devices.at(1).aliasname, QStringLiteral("QRST"));
        QVERIFY(!reply.devices.at(1).onlinestatus);
        const DeviceRecord &c = reply.devices.at(2);
        QCOMPARE(c.aliasname, QStringLiteral("XYZW"));
        // No new_port_set: the three ports are 0, not the record's initial 65535.
        QCOMPARE(c.xctl_port, quint16(0));
        QCOMPARE(c.mps_port, quint16(0));
        QCOMPARE(c.http_port, quint16(0));
        QCOMPARE(c.serverport, quint16(0));
        QCOMPARE(c.serverip, QString());

        const DeviceRecord &d = reply.devices.at(3);
        QCOMPARE(d.aliasname, QStringLiteral("plain name"));
        QCOMPARE(d.serverport, quint16(70000 & 0xffff));
        QVERIFY(!d.onlinestatus); // mistyped: 0
        QCOMPARE(d.xctl_port, quint16(0));
        QCOMPARE(d.mps_port, quint16(65535));
        QCOMPARE(d.http_port, quint16(0));
    }

    void boundReplyShortIdGivesEmptyName()
    {
        const auto reply = BoundDeviceQuery::parse(
            R"({"ret":0,"devices":[{"deviceid":"TVK0000000001"},{"deviceid":"12345678901234"},
               {"deviceid":"123456789012345"}]})");
        QVERIFY(reply.ok);
        QCOMPARE(reply.devices.at(0).aliasname, QString());
        QCOMPARE(reply.devices.at(1).aliasname, QString());
        QCOMPARE(reply.devices.at(2).aliasname, QStringLiteral("5"));
    }

    void boundReplyFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("<html>");
        QTest::newRow("array") << QByteArray("[{\"ret\":0}]");
        QTest::newRow("no ret") << QByteArray("{\"devices\":[]}");
        QTest::newRow("ret 1") << QByteArray("{\"ret\":1,\"devices\":[{\"deviceid\":\"x\"}]}");
        QTest::newRow("ret text") << QByteArray("{\"ret\":\"0\",\"devices\":[]}");
        QTest::newRow("truncated") << QByteArray("{\"ret\":0,\"devices\":[");
    }
    void boundReplyFailures()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!BoundDeviceQuery::parse(body).ok);
    }

    void boundReplyEmptyAndOdd()
    {
        auto reply = BoundDeviceQuery::parse("{\"ret\":0,\"devices\":[]}");
        QVERIFY(reply.ok);
        QVERIFY(reply.devices.isEmpty());
        reply = BoundDeviceQuery::parse("{\"ret\":0}");
        QVERIFY(reply.ok);
        QVERIFY(reply.devices.isEmpty());
        // Entries that are not objects still give a (blank) row each.
        reply = BoundDeviceQuery::parse("{\"ret\":0,\"devices\":[1,\"x\",null]}");
        QVERIFY(reply.ok);
        QCOMPARE(reply.devices.size(), 3);
        QCOMPARE(reply.devices.at(0).deviceid, QString());
        // A broken escape stays as it is.
        reply = BoundDeviceQuery::parse(
            "{\"ret\":0,\"devices\":[{\"deviceid\":\"a\",\"aliasname\":\"100%\"}]}");
        QCOMPARE(reply.devices.at(0).aliasname, QStringLiteral("100%"));
    }

    void discoveryAnswerEdges()
    {
        // Mistyped values are kept as empty text and 0; ports are cut to 16 bits.
        const auto odd = DiscoveryAnswer::parse(
            R"({"id":5,"ip":null,"xctl_port":"1","mps_port":65537,"http_port":-1})");
        QVERIFY(odd);
        QCOMPARE(odd->id, QString());
        QCOMPARE(odd->ip, QString());
        QCOMPARE(odd->xctl_port, quint16(0));
        QCOMPARE(odd->mps_port, quint16(1));
        QCOMPARE(odd->http_port, quint16(65535));
        const auto huge =
            DiscoveryAnswer::parse(R"({"id":"","ip":"","xctl_port":1e300,"mps_port":-1e300,
                                       "http_port":4294967297})");
        QVERIFY(huge);
        QCOMPARE(huge->xctl_port, quint16(0));
        QCOMPARE(huge->mps_port, quint16(0));
        QCOMPARE(huge->http_port, quint16(1));
    }

    void discoveryAnswerRejected_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("no http_port")
            << QByteArray(R"({"id":"a","ip":"b","xctl_port":1,"mps_port":2})");
        QTest::newRow("no id") << QByteArray(
            R"({"ip":"b","xctl_port":1,"mps_port":2,"http_port":3})");
        QTest::newRow("array") << QByteArray(R"([{"id":"a"}])");
        QTest::newRow("request echo") << DiscoveryAnswer::request();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("binary") << QByteArray("\x00\xff\x01", 3);
    }
    void discoveryAnswerRejected()
    {
        QFETCH(QByteArray, payload);
        QVERIFY(!DiscoveryAnswer::parse(payload));
    }

    void usbInfoSums()
    {
        const QByteArray body = R"({"rtn":0,"disklist":[
            {"Partitionlist":[{"name":"A","letter":"E","path":"/media/sda1",
              "size":536870912000,"used":107374182400}]},
            {"Partitionlist":[{"name":"B","letter":"F","path":"/media/sdb1",
              "size":1099511627776,"used":"214748364800"}]}]})";
        const auto info = UsbInfo::parse(body);
        QVERIFY(info);
        QCOMPARE(info->partitions.size(), 2);
        QCOMPARE(info->partitions.at(1).path, QStringLiteral("/media/sdb1"));
        QCOMPARE(info->partitions.at(1).letter, QStringLiteral("F"));
        QCOMPARE(info->total, 1636382539776ULL);
        QCOMPARE(info->used, 322122547200ULL);
        QCOMPARE(info->sizeText(), QStringLiteral("1224GB可用/1524GB"));
    }

    void usbInfoEdges()
    {
        auto info = UsbInfo::parse(R"({"rtn":0,"disklist":[{"Partitionlist":[]},{}]})");
        QVERIFY(info);
        QCOMPARE(info->total, 0ULL);
        QCOMPARE(info->sizeText(), QStringLiteral("0字节可用/0字节"));
        info = UsbInfo::parse(R"({"rtn":0})");
        QVERIFY(info);
        QVERIFY(info->partitions.isEmpty());
        // More used than present: no wrap-around into a huge free figure.
        info = UsbInfo::parse(
            R"({"rtn":0,"disklist":[{"Partitionlist":[{"size":1000,"used":5000}]}]})");
        QCOMPARE(info->freeSpace(), 0ULL);
        // Sums beyond 64 bits stay at the maximum.
        info = UsbInfo::parse(R"({"rtn":0,"disklist":[{"Partitionlist":[
            {"size":"18446744073709551615"},{"size":"18446744073709551615"},
            {"size":-5},{"size":"x"}]}]})");
        QVERIFY(info);
        QCOMPARE(info->total, 18446744073709551615ULL);
        QCOMPARE(info->partitions.at(2).size, 0ULL);
        QCOMPARE(info->partitions.at(3).size, 0ULL);
    }

    void usbInfoFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("rtn 1") << QByteArray(
            R"({"rtn":1,"disklist":[{"Partitionlist":[{"size":1,"used":0}]}]})");
        QTest::newRow("no rtn") << QByteArray(
            R"({"disklist":[{"Partitionlist":[{"size":1,"used":0}]}]})");
        QTest::newRow("rtn text") << QByteArray(R"({"rtn":"0"})");
        QTest::newRow("not json") << QByteArray("oops");
        QTest::newRow("array") << QByteArray("[]");
    }
    void usbInfoFailures()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!UsbInfo::parse(body));
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
        QTest::newRow("max") << 18446744073709551615ULL << QStringLiteral("17179869183GB");
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
};

QTEST_GUILESS_MAIN(TestDeviceParsers)
#include "tst_deviceparsers.moc"
