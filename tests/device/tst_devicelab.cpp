// The device classes against the lab: sign-in, bound devices with their disks, discovery on
// loopback and switching the current device in the main window, and the two routes.
#include "app/mainwidget.h"
#include "device/deviceitem.h"
#include "device/localdevicelistwidget.h"
#include "device/userdevicelistwidget.h"
#include "platform/settingsstore.h"
#include "store/database.h"
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"
#include "tests/support/standinhost.h"

#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

namespace {

const int waitMs = 60000;

const QString dev1 = "TVK0000000001";
const QString dev2 = "TVK0000000002";
const QString dev3 = "TVK0000000003";

} // namespace

class TestDeviceLab : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase()
    {
        QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
        qputenv("KELVORA_DEVICE_MANAGER", lab_.accountUrl().toUtf8());
    }
    void boundDevicesWithDiskSpace();
    void switchingAndRoutes();

private:
    DeviceUser signIn()
    {
        const HttpSync::Result r =
            HttpSync().post(QUrl(lab_.accountUrl() + "/account/login"),
                            "name=demo&password=demo123&client=81&version=1.0.0.0");
        const QJsonObject reply = QJsonDocument::fromJson(r.body).object();
        DeviceUser user;
        user.signedIn = reply.value("code").toInt(-1) == 0;
        user.userId = reply.value("userid").toVariant().toULongLong();
        user.sessionId = reply.value("sessionid").toString();
        user.userName = "demo";
        return user;
    }
    int port(const QString &id, const char *service) const
    {
        return lab_.device(id).value(QLatin1String(service) + "_port").toInt();
    }
    void answerDiscovery(bool on)
    {
        qputenv("KELVORA_DISCOVERY_TARGET",
                "127.0.0.1:" + QByteArray::number(on ? port(dev1, "discovery") : 9));
    }

    LabProcess lab_;
};

// The lab's bound list: the on-line box's disks through the relay; the off-line one is not asked.
void TestDeviceLab::boundDevicesWithDiskSpace()
{
    StandInHost host;
    host.signedIn = signIn();
    QWidget window;
    auto *list = new UserDeviceListWidget(&window);
    list->setHost(&host);
    QSignalSpy finished(list, &UserDeviceListWidget::finished);
    list->LoadDevices();
    QVERIFY(finished.wait(waitMs));
    window.show();
    DeviceItem *one = list->findDevice(dev1);
    QVERIFY(one && !one->isLocal && !list->findDevice(dev2)->diskInfoReply);
    QTRY_VERIFY_WITH_TIMEOUT(!one->diskInfoReply, waitMs);
    // 500 GB + 1 TB of partitions; the sample content uses a little of it.
    const QString size = one->findChild<QLabel *>("sizeLabel")->text();
    QVERIFY2(QRegularExpression("^15(23|24)GB可用/1524GB$").match(size).hasMatch(),
             qPrintable(size));
}

void TestDeviceLab::switchingAndRoutes()
{
    // Nothing answers discovery while the window is built: the first device is reached
    // through the relay.
    answerDiscovery(false);
    MainWidget window;
    const DeviceUser user = signIn();
    QVERIFY(user.signedIn);
    auto *bound = window.findChild<UserDeviceListWidget *>("userDeviceListWidget");
    auto *local = window.findChild<LocalDeviceListWidget *>("localDeviceListWidget");
    auto *refresh = window.findChild<QPushButton *>("refreshDeviceButton");
    QVERIFY(bound && local && refresh);
    // A user signed in at the lab from outside; the current device is the window's.
    StandInHost host;
    host.signedIn = user;
    host.follow = window.findChild<DeviceHost *>();
    QVERIFY(host.follow);
    bound->setHost(&host);
    local->setHost(&host);
    std::unique_ptr<QSettings> settings(openSettingsStore(nullptr));
    auto stored = [&settings] {
        settings->sync();
        return settings->value("settings/curr_devid").toString();
    };
    QCOMPARE(stored(), QString());

    // A transfer stored by an earlier run goes on once its device is current again.
    const QString saved = QDir::tempPath() + "/saved/8MB.bin";
    AddTask(0, QUuid::createUuid(), dev1, "/media/sda1/大文件 8MB.bin", saved, 0, 8 << 20, 1,
            QDateTime::currentDateTime());

    QSignalSpy changed(&window, &MainWidget::currentDeviceChanged);
    QSignalSpy finished(bound, &UserDeviceListWidget::finished);
    bound->LoadDevices();
    QVERIFY(finished.wait(waitMs));
    // Nothing stored: the first bound device becomes current and is remembered.
    QCOMPARE(changed.count(), 1);
    DeviceItem *current = window.currentDevice();
    QVERIFY(current && current->deviceid == dev1 && !current->isLocal && current->selected);
    QCOMPARE(stored(), dev1);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(saved).size(), 8 << 20, waitMs);
    QFile got(saved), original(lab_.device(dev1).value("root").toString() + "/sda1/大文件 8MB.bin");
    QVERIFY(got.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    QVERIFY(got.readAll() == original.readAll());

    // Relay route: the request goes to the relay port, and the relay's log line shows it
    // forwarded to the device's query service with x-qm-* and the user query intact.
    const QString deviceLine = dev1 +
                               " xctl GET /dlna.csp?fname=dlna&opt=querydir"
                               "&x-qm-devid=TVK0000000001&x-qm-pri=1&x-qm-port=" +
                               QString::number(port(dev1, "xctl")) +
                               "&userid=880000001&username=demo&start=0&count=100&path= 200 ";
    auto queryDir = [&](int expectedPort) {
        const int logStart = lab_.requestLog().size();
        std::unique_ptr<QNetworkReply> reply(window.currentDevice()->requestQueryDir("", 0, 100));
        QVERIFY(QSignalSpy(reply.get(), &QNetworkReply::finished).wait(waitMs));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(QJsonDocument::fromJson(reply->readAll()).object().value("rtn").toInt(-1), 0);
        QCOMPARE(reply->url().port(), expectedPort);
        // The lab writes its log lines after answering: the device's own, and the relay's
        // when it forwarded the query. Only this query's lines count: the cards' own disk
        // queries go through the relay too and may be logged at any time.
        const bool relayed = expectedPort == lab_.relayPort();
        QTRY_COMPARE_WITH_TIMEOUT(lab_.requestsSince(logStart, {deviceLine}), relayed ? 2 : 1,
                                  waitMs);
        QCOMPARE(lab_.requestsSince(logStart, {"relay " + deviceLine}), relayed ? 1 : 0);
    };
    queryDir(lab_.relayPort());
    if (QTest::currentTestFailed())
        return;

    // Now the LAN answers: the same device is reached directly and keeps its bound name; the
    // relay sees nothing of it.
    answerDiscovery(true);
    finished.clear();
    refresh->click();
    QTRY_COMPARE_WITH_TIMEOUT(local->count(), 2, waitMs);
    DeviceItem *three = local->findDevice(dev3);
    QVERIFY(three && !local->findDevice(dev2) && three->isLocal && three->onlinestatus);
    QCOMPARE(three->intraip, "127.0.0.1");
    QCOMPARE(QList<int>({three->xctl_port, three->mps_port, three->http_port}),
             QList<int>({port(dev3, "xctl"), port(dev3, "mps"), port(dev3, "http")}));
    // Short sample identifiers give no fallback name.
    QCOMPARE(three->aliasname, QString());
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() > 0, waitMs);
    current = window.currentDevice();
    QVERIFY(current->isLocal && current->deviceid == dev1);
    QCOMPARE(current->findChild<QLabel *>("nameLabel")->text(), "客厅的盒子（在线）");
    queryDir(port(dev1, "xctl"));
    if (QTest::currentTestFailed())
        return;

    // Double-clicking a LAN-only device makes it current without storing it.
    QListWidgetItem *lanRow = local->item(local->deviceAt(0) == three ? 0 : 1);
    const int before = changed.count();
    emit local->itemDoubleClicked(lanRow);
    QCOMPARE(changed.count(), before + 1);
    QCOMPARE(window.currentDevice()->deviceid, dev3);
    QVERIFY(three->selected);
    QCOMPARE(stored(), dev1);

    // Double-clicking a bound device stores it; the next load brings it back.
    QCOMPARE(bound->deviceAt(1)->deviceid, dev2);
    emit bound->itemDoubleClicked(bound->item(1));
    QVERIFY(window.currentDevice()->deviceid == dev2 && !window.currentDevice()->isLocal);
    QVERIFY(bound->deviceAt(1)->selected && !bound->deviceAt(0)->selected);
    QCOMPARE(stored(), dev2);
    emit local->itemDoubleClicked(lanRow);
    QCOMPARE(window.currentDevice()->deviceid, dev3);
    finished.clear();
    bound->LoadDevices();
    QVERIFY(finished.wait(waitMs));
    QCOMPARE(window.currentDevice()->deviceid, dev2);

    // A load that finds no bound devices leaves the current (LAN-only) device as it was.
    emit local->itemDoubleClicked(lanRow);
    bound->clearDevices();
    changed.clear();
    emit bound->finished();
    QVERIFY(window.currentDevice() && window.currentDevice()->deviceid == dev3);
    QCOMPARE(changed.count(), 0);
    answerDiscovery(false);
}

QTEST_MAIN(TestDeviceLab)
#include "tst_devicelab.moc"
