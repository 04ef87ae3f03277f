#include "device/deviceitem.h"
#include "device/localdevicelistwidget.h"

#include <QLabel>
#include <QUdpSocket>
#include <QtTest>

namespace {

const int waitMs = 30000;

QByteArray answer(const QString &id, const QString &ip, int xctl = 18081)
{
    return QStringLiteral(R"({"id":"%1","ip":"%2","xctl_port":%3,"mps_port":%4,"http_port":%5})")
        .arg(id, ip, QString::number(xctl), QString::number(xctl + 1), QString::number(xctl + 2))
        .toUtf8();
}

const QString idA = QStringLiteral("TVK1000A000000LAN1");
const QString idB = QStringLiteral("TVK1000A00000000003");

} // namespace

// Plays the device side of discovery on a loopback socket that the list is pointed at.
class TestLocalDeviceList : public QObject
{
    Q_OBJECT

private:
    QUdpSocket device;

    // Waits for one discovery datagram and returns it; sender's port in *port.
    QByteArray receiveRequest(quint16 *port)
    {
        if (!device.hasPendingDatagrams() && !device.waitForReadyRead(waitMs))
            return QByteArray();
        QByteArray data(int(device.pendingDatagramSize()), Qt::Uninitialized);
        QHostAddress sender;
        device.readDatagram(data.data(), data.size(), &sender, port);
        return data;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(device.bind(QHostAddress(QHostAddress::LocalHost), 0));
        qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:" + QByteArray::number(device.localPort()));
    }

    void requestAndAnswers()
    {
        LocalDeviceListWidget list;
        list.Discover();
        quint16 port = 0;
        const QByteArray request = receiveRequest(&port);
        QCOMPARE(request, QByteArray("{\"type\":0,\"seq\":1}"));
        QCOMPARE(request.size(), 18);
        QCOMPARE(port, list.localPort());

        device.writeDatagram(answer(idA, QStringLiteral("127.0.0.1")), QHostAddress::LocalHost,
                             port);
        QTRY_COMPARE_WITH_TIMEOUT(list.count(), 1, waitMs);
        DeviceItem *card = list.deviceAt(0);
        QCOMPARE(card->deviceid, idA);
        QCOMPARE(card->aliasname, QStringLiteral("LAN1"));
        QCOMPARE(card->intraip, QStringLiteral("127.0.0.1"));
        QCOMPARE(card->xctl_port, quint16(18081));
        QCOMPARE(card->mps_port, quint16(18082));
        QCOMPARE(card->http_port, quint16(18083));
        QVERIFY(card->isLocal && card->onlinestatus);
        QCOMPARE(list.item(0)->data(LocalDeviceListWidget::MissedRole).toInt(), 0);
        QCOMPARE(card->findChild<QLabel *>(QStringLiteral("nameLabel"))->text(),
                 QStringLiteral("LAN1（在线）"));

        // From another host (another socket) with the same id: same row, later address.
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress(QHostAddress::LocalHost), 0));
        stranger.writeDatagram(answer(idA, QStringLiteral("10.0.0.7"), 20000),
                               QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(card->intraip, QStringLiteral("10.0.0.7"), waitMs);
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.findDevice(idA), card);
        QCOMPARE(card->xctl_port, quint16(20000));

        // An incomplete answer is dropped; the next good one is appended after the first.
        device.writeDatagram(R"({"id":"X","ip":"1","xctl_port":1,"mps_port":2})",
                             QHostAddress::LocalHost, port);
        device.writeDatagram(answer(idB, QStringLiteral("127.0.0.2")), QHostAddress::LocalHost,
                             port);
        QTRY_COMPARE_WITH_TIMEOUT(list.count(), 2, waitMs);
        QCOMPARE(list.deviceAt(1)->deviceid, idB);
        QVERIFY(!list.findDevice(QStringLiteral("X")));
    }

    void sweepAndMark()
    {
        LocalDeviceListWidget list;
        list.handleAnswer(answer(idA, QStringLiteral("1.1.1.1")));
        list.handleAnswer(answer(idB, QStringLiteral("1.1.1.2")));
        QCOMPARE(list.count(), 2);
        QPointer<DeviceItem> cardA = list.findDevice(idA);

        // Cycle n: both marked, only B answers.
        list.Discover();
        QCOMPARE(list.item(0)->data(LocalDeviceListWidget::MissedRole).toInt(), 1);
        QCOMPARE(list.item(1)->data(LocalDeviceListWidget::MissedRole).toInt(), 1);
        list.handleAnswer(answer(idB, QStringLiteral("1.1.1.2")));
        // Cycle n+1 starts: A goes, B stays and is marked again.
        list.Discover();
        QCOMPARE(list.count(), 1);
        QVERIFY(!list.findDevice(idA));
        QCOMPARE(list.deviceAt(0)->deviceid, idB);
        QCOMPARE(list.item(0)->data(LocalDeviceListWidget::MissedRole).toInt(), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!cardA);

        // A device that comes back gets a new row at the end.
        list.handleAnswer(answer(idA, QStringLiteral("1.1.1.1")));
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.deviceAt(1)->deviceid, idA);

        // Two cycles with no answer in between empty the list.
        list.Discover();
        list.Discover();
        QCOMPARE(list.count(), 0);

        // Drain the datagrams these cycles sent.
        quint16 port = 0;
        while (device.hasPendingDatagrams())
            receiveRequest(&port);
    }
};

QTEST_MAIN(TestLocalDeviceList)
#include "tst_localdevicelist.moc"
