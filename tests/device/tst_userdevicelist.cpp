#include "devicetesthost.h"
#include "fakehttpserver.h"

#include "app/messagebox.h"
#include "app/networkmanager.h"
#include "device/deviceitem.h"
#include "device/userdevicelistwidget.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QtTest>

namespace {

const int waitMs = 30000;

const QByteArray twoDevices = R"({"ret":0,"devices":[
    {"deviceid":"TVK1000A00000000001","aliasname":"%E5%AE%A2%E5%8E%85%E7%9A%84%E7%9B%92%E5%AD%90",
     "serverip":"127.0.0.1","serverport":18090,"intraip":"192.168.1.2","onlinestatus":1,
     "new_port_set":{"xctl_port":18081,"mps_port":18082,"http_port":18083}},
    {"deviceid":"TVK1000A000000BOX2","aliasname":"","serverip":"127.0.0.1","serverport":18090,
     "intraip":"192.168.1.3","onlinestatus":0}]})";

const QString emptyStyle =
    QStringLiteral("QListWidget{background-image:url(:/image/empty.png);background-repeat:none;"
                   "background-position:center;}");

// A list over a fake device-management server answering with twoDevices.
class Fixture
{
public:
    explicit Fixture(bool signedIn = true)
    {
        server.setReply(twoDevices);
        qputenv("KELVORA_DEVICE_MANAGER", server.origin().toUtf8());
        if (signedIn)
            host.signIn(1, QStringLiteral("u"), QStringLiteral("s"));
    }
    ~Fixture() { qunsetenv("KELVORA_DEVICE_MANAGER"); }

    DeviceTestHost host;
    FakeHttpServer server;
    UserDeviceListWidget list{&host.window};
};

} // namespace

class TestUserDeviceList : public QObject
{
    Q_OBJECT

private:
    // Runs one load and returns once its reply has been handled.
    static void loadAndWait(UserDeviceListWidget &list)
    {
        QSignalSpy handled(networkManager(), &QNetworkAccessManager::finished);
        list.LoadDevices();
        QVERIFY(handled.wait(waitMs));
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QNetworkReply *>();
        doubleErrorReports();
    }

    void init()
    {
        while (MessageBox *toast = MessageBox::queueHead())
            delete toast;
    }

    void requestAndRows()
    {
        Fixture f(false);
        DeviceTestHost &host = f.host;
        FakeHttpServer &server = f.server;
        UserDeviceListWidget &list = f.list;
        // A trailing "/" on the server address is not doubled.
        qputenv("KELVORA_DEVICE_MANAGER", server.origin().toUtf8() + "/");
        QSignalSpy finished(&list, &UserDeviceListWidget::finished);

        // Nobody signed in: no request.
        list.LoadDevices();
        host.signIn(880000001, QStringLiteral("demo"), QStringLiteral("sess-1"));
        loadAndWait(list);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(finished.count(), 1);

        const FakeHttpServer::Request &request = server.requests.at(0);
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target,
                 QByteArray("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0"));
        QList<QByteArray> names;
        for (const auto &header : request.headers)
            names.append(header.first.toLower());
        const int cookie = names.indexOf("cookie");
        const int encoding = names.indexOf("accept-encoding");
        const int agent = names.indexOf("user-agent");
        QVERIFY(cookie >= 0 && cookie < encoding && encoding < agent);
        QCOMPARE(request.headers.at(cookie).second,
                 QByteArray("sessionid=sess-1; userid=880000001; clientoperationid=81; "
                            "platform=windows"));
        QCOMPARE(request.headers.at(encoding).second, QByteArray("none"));
        QCOMPARE(request.headers.at(agent).second, QByteArray("Kelvora Client Win32"));

        QCOMPARE(list.count(), 2);
        QCOMPARE(list.styleSheet(), QStringLiteral("QListWidget{background:#fff;}"));
        DeviceItem *first = list.deviceAt(0);
        QVERIFY(first);
        QCOMPARE(first->parentWidget()->parentWidget(), &list); // the viewport's
        QCOMPARE(first->aliasname, QStringLiteral("客厅的盒子"));
        QCOMPARE(first->serverport, quint16(18090));
        QCOMPARE(first->xctl_port, quint16(18081));
        QVERIFY(first->onlinestatus && !first->isLocal);
        QCOMPARE(first->findChild<QLabel *>(QStringLiteral("nameLabel"))->text(),
                 QStringLiteral("客厅的盒子（在线）"));
        DeviceItem *second = list.deviceAt(1);
        QCOMPARE(second->aliasname, QStringLiteral("BOX2"));
        QCOMPARE(second->xctl_port, quint16(0));
        QCOMPARE(second->findChild<QLabel *>(QStringLiteral("nameLabel"))->text(),
                 QStringLiteral("BOX2（离线）"));
        QCOMPARE(list.findDevice(QStringLiteral("TVK1000A000000BOX2")), second);
        QVERIFY(!list.findDevice(QStringLiteral("nope")));

        // An unusable reply keeps the rows, says nothing, and does not signal.
        QPointer<DeviceItem> kept = first;
        for (const QByteArray &body :
             {QByteArray(R"({"ret":1,"devices":[]})"), QByteArray("not json"), QByteArray("[]"),
              QByteArray(R"({"devices":[]})")}) {
            server.setReply(body);
            loadAndWait(list);
            QCOMPARE(list.count(), 2);
            QCOMPARE(finished.count(), 1);
            QVERIFY(!MessageBox::queueHead());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(kept);

        // An empty list shows the empty picture and still signals; old cards go.
        server.setReply(R"({"ret":0,"devices":[]})");
        loadAndWait(list);
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.styleSheet(), emptyStyle);
        QCOMPARE(finished.count(), 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!kept);
    }

    void networkErrorToast()
    {
        Fixture f;
        QSignalSpy finished(&f.list, &UserDeviceListWidget::finished);
        loadAndWait(f.list);
        QCOMPARE(f.list.count(), 2);

        qputenv("KELVORA_DEVICE_MANAGER", "http://127.0.0.1:" + QByteArray::number(closedPort()));
        loadAndWait(f.list);
        QCOMPARE(f.list.count(), 2);
        QCOMPARE(finished.count(), 1);
        MessageBox *toast = MessageBox::queueHead();
        QVERIFY(toast);
        QVERIFY2(toast->text().startsWith(QStringLiteral("加载设备列表失败: ")),
                 qPrintable(toast->text()));
        QVERIFY(toast->text().size() > QStringLiteral("加载设备列表失败: ").size());
        QCOMPARE(toast->parentWidget(), &f.host.window);
        QCOMPARE(toast->duration(), 2000);
    }

    // The list goes away (sign-out, window closed) after its query failed but before the
    // reply finished: the reply is released without a second error report.
    void listDestroyedAfterFailure()
    {
        Fixture f;
        qputenv("KELVORA_DEVICE_MANAGER", "http://127.0.0.1:" + QByteArray::number(closedPort()));
        auto *list = new UserDeviceListWidget;
        const int before = networkManager()->findChildren<QNetworkReply *>().size();
        list->LoadDevices();
        const QList<QNetworkReply *> replies = networkManager()->findChildren<QNetworkReply *>();
        QCOMPARE(replies.size(), before + 1);
        QPointer<QNetworkReply> reply = replies.last();
        connect(reply, &QNetworkReply::errorOccurred, list, [list] { delete list; });
        QTRY_VERIFY_WITH_TIMEOUT(!reply, waitMs);
        QCOMPARE(doubleErrorReports(), QStringList());
    }
};

QTEST_MAIN(TestUserDeviceList)
#include "tst_userdevicelist.moc"
