#include "devicetesthost.h"
#include "fakehttpserver.h"

#include "device/deviceitem.h"

#include <QLabel>
#include <QNetworkReply>
#include <QtTest>

namespace {

const int waitMs = 30000;

QLabel *label(DeviceItem *item, const char *name)
{
    return item->findChild<QLabel *>(QLatin1String(name));
}

const QByteArray twoDisks = R"({"rtn":0,"disklist":[
    {"Partitionlist":[{"name":"A","size":536870912000,"used":107374182400}]},
    {"Partitionlist":[{"name":"B","size":1099511627776,"used":214748364800}]}]})";

} // namespace

class TestDeviceItem : public QObject
{
    Q_OBJECT

private:
    // A card in the host window reaching a service on loopback at the given port.
    static DeviceItem *card(DeviceTestHost &host, quint16 port, bool online, bool local = true)
    {
        auto *item = new DeviceItem(&host.window);
        pointAt(*item, port, local);
        item->onlinestatus = online;
        item->updateStatus();
        return item;
    }

    static void pointAt(DeviceItem &item, quint16 port, bool local = true)
    {
        item.deviceid = QStringLiteral("TVK1000A00000000001");
        item.aliasname = QStringLiteral("客厅");
        item.isLocal = local;
        item.intraip = QStringLiteral("127.0.0.1");
        item.serverip = QStringLiteral("127.0.0.1");
        item.xctl_port = port;
        item.serverport = port;
    }

private slots:
    void initTestCase() { doubleErrorReports(); }

    void initialState()
    {
        DeviceItem item;
        QCOMPARE(item.size(), QSize(128, 134));
        QVERIFY(label(&item, "flagLabel")->isHidden());
        QCOMPARE(label(&item, "nameLabel")->text(), QStringLiteral("Tovrik001（在线）"));
        QCOMPARE(label(&item, "sizeLabel")->text(), QStringLiteral("0GB可用/0GB"));
        QCOMPARE(item.serverport, quint16(65535));
        QCOMPARE(item.xctl_port, quint16(65535));
        QVERIFY(!item.isLocal && !item.onlinestatus && !item.selected);
        QVERIFY(!item.diskInfoReply);
    }

    void offlineCardAsksNothing()
    {
        DeviceTestHost host;
        FakeHttpServer server;
        DeviceItem *item = card(host, server.port(), false);
        QCOMPARE(label(item, "nameLabel")->text(), QStringLiteral("客厅（离线）"));
        QCOMPARE(label(item, "nameLabel")->styleSheet(), QStringLiteral("color:#000;"));
        QCOMPARE(label(item, "sizeLabel")->text(), QStringLiteral("未知大小"));
        QCOMPARE(item->toolTip(), QStringLiteral("客厅"));
        host.window.show();
        QVERIFY(item->isVisible());
        QVERIFY(!item->diskInfoReply);
    }

    void onlineCardShowsDiskFigures()
    {
        DeviceTestHost host;
        host.signIn(7, QStringLiteral("demo"), QStringLiteral("s"));
        FakeHttpServer server;
        server.setReply(twoDisks);
        DeviceItem *item = card(host, server.port(), true);
        QCOMPARE(label(item, "nameLabel")->text(), QStringLiteral("客厅（在线）"));
        QCOMPARE(label(item, "nameLabel")->styleSheet(), QStringLiteral("color:#4377e2;"));
        QCOMPARE(label(item, "sizeLabel")->text(), QStringLiteral("0GB可用/0GB"));
        host.window.show();
        QVERIFY(item->diskInfoReply);
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        QCOMPARE(label(item, "sizeLabel")->text(), QStringLiteral("1224GB可用/1524GB"));
        QCOMPARE(item->toolTip(), QStringLiteral("设备: 客厅\n硬盘: 1224GB可用/1524GB"));
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests.at(0).target,
                 QByteArray("/dlna.csp?fname=dlna&opt=getusbinfo&x-qm-devid=TVK1000A00000000001"
                            "&x-qm-pri=1&x-qm-port=") +
                     QByteArray::number(server.port()) + "&userid=7&username=demo");

        // Shown again after the figures arrived: it asks again.
        host.window.hide();
        server.setReply(R"({"rtn":0,"disklist":[{"Partitionlist":[]}]})");
        host.window.show();
        QVERIFY(item->diskInfoReply);
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        QCOMPARE(label(item, "sizeLabel")->text(), QStringLiteral("0字节可用/0字节"));
        QCOMPARE(server.requests.size(), 2);
    }

    void unusableReplyChangesNothing()
    {
        DeviceTestHost host;
        FakeHttpServer server;
        server.setReply(R"({"rtn":1,"disklist":[{"Partitionlist":[{"size":5,"used":1}]}]})");
        DeviceItem *item = card(host, server.port(), true, false);
        host.window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        QCOMPARE(label(item, "sizeLabel")->text(), QStringLiteral("0GB可用/0GB"));
        QCOMPARE(item->toolTip(), QStringLiteral("客厅"));
        // The bound route goes through the relay address.
        QVERIFY(server.requests.at(0).target.contains("&x-qm-port=" +
                                                      QByteArray::number(server.port())));
    }

    void failedDiskQuery()
    {
        DeviceTestHost host;
        const quint16 port = closedPort();
        DeviceItem *other = card(host, port, true);
        DeviceItem *current = card(host, port, true);
        host.current = current;
        host.window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!other->diskInfoReply && !current->diskInfoReply, waitMs);
        QCOMPARE(label(other, "sizeLabel")->text(), QStringLiteral("查询失败"));
        QCOMPARE(label(current, "sizeLabel")->text(), QStringLiteral("查询失败"));
        // Only the current device's failure reaches the window.
        QCOMPARE(host.errors,
                 QList<QNetworkReply::NetworkError>{QNetworkReply::ConnectionRefusedError});
    }

    void errorsReachTheWindow()
    {
        DeviceTestHost host;
        DeviceItem item;
        pointAt(item, closedPort());
        QList<QNetworkReply *> replies{item.requestQueryDir(QString(), 0, 100),
                                       item.requestFileList(29489, 0, 50),
                                       item.requestFileData(QStringLiteral("/a"), 3, 1),
                                       item.requestRealVideo(830, -1, 0, 20),
                                       item.requestDelete(QStringLiteral("/a|/b")),
                                       item.requestMkdir(QStringLiteral("/a/b")),
                                       item.requestFileData(QStringLiteral("/t"), 1, 1),
                                       item.requestUsbInfo()};
        for (QNetworkReply *reply : replies) {
            if (!reply->isFinished())
                QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(waitMs));
        }
        // Six of them report; the thumbnail and the disk query of a non-current card do not.
        QCOMPARE(host.errors.size(), 6);
        for (QNetworkReply::NetworkError code : host.errors)
            QCOMPARE(code, QNetworkReply::ConnectionRefusedError);
        qDeleteAll(replies);
    }

    void requestUrls()
    {
        DeviceTestHost host;
        DeviceItem item;
        pointAt(item, 1, true);
        QCOMPARE(item.userQuery(), QStringLiteral("&userid=0&username=0"));
        host.signIn(880000001, QStringLiteral("de mo"), QStringLiteral("s"));
        QCOMPARE(item.userQuery(), QStringLiteral("&userid=880000001&username=de mo"));
        // Tolerant parsing: blanks are encoded, text already percent-encoded is kept.
        QNetworkReply *reply = item.requestQueryDir(QStringLiteral("/media/a b/%E4%B8%AD"), 0, 100);
        QCOMPARE(reply->url().toEncoded(),
                 QByteArray("http://127.0.0.1:1/dlna.csp?fname=dlna&opt=querydir"
                            "&x-qm-devid=TVK1000A00000000001&x-qm-pri=1&x-qm-port=1"
                            "&userid=880000001&username=de%20mo&start=0&count=100"
                            "&path=/media/a%20b/%E4%B8%AD"));
        QCOMPARE(reply->operation(), QNetworkAccessManager::GetOperation);
        reply->abort();
        delete reply;
    }

    void hoverAndSelection()
    {
        DeviceItem item;
        QLabel *flag = label(&item, "flagLabel");
        QEvent enter(QEvent::Enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&item, &enter);
        QVERIFY(!flag->isHidden());
        QApplication::sendEvent(&item, &leave);
        QVERIFY(flag->isHidden());

        item.setSelected(true);
        QVERIFY(item.selected);
        QVERIFY(!flag->isHidden());
        const QImage clicked = flag->pixmap(Qt::ReturnByValue).toImage();
        QApplication::sendEvent(&item, &enter);
        const QImage afterEnter = flag->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(afterEnter, clicked);
        QApplication::sendEvent(&item, &leave);
        QVERIFY(!flag->isHidden());
        if (!QPixmap(QStringLiteral(":/image/listitem_clicked.png")).isNull())
            QCOMPARE(clicked, QPixmap(QStringLiteral(":/image/listitem_clicked.png")).toImage());

        item.setSelected(false);
        QVERIFY(flag->isHidden());
    }

    // A card removed after its disk query failed but before the reply finished: released
    // without a second error report and without calling back into the card.
    void destroyedAfterFailure()
    {
        DeviceTestHost host;
        DeviceItem *item = card(host, closedPort(), true);
        host.window.show();
        QPointer<QNetworkReply> reply = item->diskInfoReply;
        QVERIFY(reply);
        connect(reply, &QNetworkReply::errorOccurred, item, [item] { delete item; });
        QTRY_VERIFY_WITH_TIMEOUT(!reply, waitMs);
        QCOMPARE(doubleErrorReports(), QStringList());
    }
};

QTEST_MAIN(TestDeviceItem)
#include "tst_deviceitem.moc"
