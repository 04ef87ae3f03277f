// The device classes against the lab: sign-in, bound devices with their disks, discovery on
// loopback, switching the current device in the main window, and the two routes.
#include "devicetesthost.h"

#include "app/mainwidget.h"
#include "device/devicehost.h"
#include "device/deviceitem.h"
#include "device/localdevicelistwidget.h"
#include "device/userdevicelistwidget.h"
#include "platform/settingsstore.h"
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

namespace {

const int waitMs = 60000;
const QString dev1 = QStringLiteral("TVK0000000001");
const QString dev2 = QStringLiteral("TVK0000000002");
const QString dev3 = QStringLiteral("TVK0000000003");

} // namespace

class TestDeviceLab : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase();
    void boundDevicesWithDiskSpace();
    void discoveryOnLoopback();
    void switchingAndRoutes();

private:
    DeviceUser signIn();
    // Lines of the lab's request log that were added since the given count.
    QStringList logSince(int count) const { return lab_.requestLog().mid(count); }
    static int linesStarting(const QStringList &lines, const QString &prefix)
    {
        return int(std::count_if(lines.begin(), lines.end(),
                                 [&](const QString &line) { return line.startsWith(prefix); }));
    }
    QString discoveryTarget() const
    {
        return QStringLiteral("127.0.0.1:%1")
            .arg(lab_.device(dev1).value("discovery_port").toInt());
    }
    void dumpLog() const
    {
        for (const QString &line : lab_.requestLog())
            qInfo("lab: %s", qPrintable(line));
    }

    LabProcess lab_;
};

void TestDeviceLab::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
    QVERIFY(lab_.device(dev1).value("discovery_port").toInt() > 0);
    qputenv("KELVORA_DEVICE_MANAGER", lab_.accountUrl().toUtf8());
}

DeviceUser TestDeviceLab::signIn()
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("name"), QStringLiteral("demo"));
    form.addQueryItem(QStringLiteral("password"), QStringLiteral("demo123"));
    form.addQueryItem(QStringLiteral("client"), QStringLiteral("81"));
    form.addQueryItem(QStringLiteral("version"), QStringLiteral("1.0.0.0"));
    HttpSync http;
    const HttpSync::Result r =
        http.post(QUrl(lab_.accountUrl() + QStringLiteral("/account/login")),
                  form.query(QUrl::FullyEncoded).toUtf8(), "application/x-www-form-urlencoded");
    const QJsonObject reply = QJsonDocument::fromJson(r.body).object();
    DeviceUser user;
    if (reply.value("code").toInt(-1) != 0)
        return user;
    user.signedIn = true;
    user.userId = reply.value("userid").toVariant().toULongLong();
    user.sessionId = reply.value("sessionid").toString();
    user.userName = QStringLiteral("demo");
    return user;
}

void TestDeviceLab::boundDevicesWithDiskSpace()
{
    DeviceTestHost host;
    host.user = signIn();
    QVERIFY(host.user.signedIn);
    QCOMPARE(host.user.userId, 880000001ULL);

    auto *list = new UserDeviceListWidget(&host.window);
    list->resize(400, 300);
    QSignalSpy finished(list, &UserDeviceListWidget::finished);
    const int logStart = lab_.requestLog().size();
    list->LoadDevices();
    QVERIFY(finished.wait(waitMs));
    QCOMPARE(list->count(), 2);

    DeviceItem *one = list->findDevice(dev1);
    DeviceItem *two = list->findDevice(dev2);
    QVERIFY(one && two);
    QCOMPARE(one->aliasname, QStringLiteral("客厅的盒子"));
    QVERIFY(one->onlinestatus && !one->isLocal);
    QCOMPARE(int(one->serverport), lab_.relayPort());
    QCOMPARE(int(one->xctl_port), lab_.device(dev1).value("xctl_port").toInt());
    QCOMPARE(int(one->mps_port), lab_.device(dev1).value("mps_port").toInt());
    QCOMPARE(int(one->http_port), lab_.device(dev1).value("http_port").toInt());
    QCOMPARE(two->aliasname, QStringLiteral("Office NAS"));
    QVERIFY(!two->onlinestatus);

    // Shown: the on-line card asks for its disks (through the relay), the off-line one not.
    host.window.show();
    QLabel *size = one->findChild<QLabel *>(QStringLiteral("sizeLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(!one->diskInfoReply, waitMs);
    // 500 GB + 1 TB of partitions; the sample content uses a little of it.
    QVERIFY2(QRegularExpression(QStringLiteral("^15(23|24)GB可用/1524GB$"))
                 .match(size->text())
                 .hasMatch(),
             qPrintable(size->text()));
    QCOMPARE(one->toolTip(), QStringLiteral("设备: 客厅的盒子\n硬盘: ") + size->text());
    QCOMPARE(two->findChild<QLabel *>(QStringLiteral("sizeLabel"))->text(),
             QStringLiteral("未知大小"));
    QVERIFY(!two->diskInfoReply);

    // The disk query of the on-line card went through the relay.
    const QString usbQuery =
        QStringLiteral("relay TVK0000000001 xctl GET /dlna.csp?fname=dlna&opt=getusbinfo");
    QTRY_VERIFY_WITH_TIMEOUT(linesStarting(logSince(logStart), usbQuery) >= 1, waitMs);
    const QStringList log = logSince(logStart);
    const bool listed = std::any_of(log.begin(), log.end(), [](const QString &line) {
        return line.contains(
            QStringLiteral("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0"));
    });
    if (!listed)
        dumpLog();
    QVERIFY(listed);
    QVERIFY(std::none_of(log.begin(), log.end(), [](const QString &line) {
        return line.contains(QStringLiteral("x-qm-devid=TVK0000000002"));
    }));
}

void TestDeviceLab::discoveryOnLoopback()
{
    qputenv("KELVORA_DISCOVERY_TARGET", discoveryTarget().toUtf8());
    DeviceTestHost host;
    LocalDeviceListWidget list;
    list.Discover();
    QTRY_COMPARE_WITH_TIMEOUT(list.count(), 2, waitMs);
    DeviceItem *one = list.findDevice(dev1);
    DeviceItem *three = list.findDevice(dev3);
    QVERIFY(one && three);
    QVERIFY(!list.findDevice(dev2));
    QCOMPARE(one->intraip, QStringLiteral("127.0.0.1"));
    QCOMPARE(int(one->xctl_port), lab_.device(dev1).value("xctl_port").toInt());
    QCOMPARE(int(three->http_port), lab_.device(dev3).value("http_port").toInt());
    QVERIFY(one->isLocal && one->onlinestatus);
    // Short sample identifiers give no fallback name.
    QCOMPARE(three->aliasname, QString());

    // Both keep answering: a new cycle keeps them.
    list.Discover();
    QTRY_VERIFY_WITH_TIMEOUT(list.item(0)->data(LocalDeviceListWidget::MissedRole).toInt() == 0 &&
                                 list.item(1)->data(LocalDeviceListWidget::MissedRole).toInt() == 0,
                             waitMs);
    list.Discover();
    QCOMPARE(list.count(), 2);
    qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:9");
}

void TestDeviceLab::switchingAndRoutes()
{
    // Nothing answers discovery while the window is built, so the first device is reached
    // through the relay.
    qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:9");
    MainWidget window;
    const DeviceUser user = signIn();
    QVERIFY(user.signedIn);
    DeviceHost::setUserSource([user] { return user; });

    auto *bound = window.findChild<UserDeviceListWidget *>(QStringLiteral("userDeviceListWidget"));
    auto *local =
        window.findChild<LocalDeviceListWidget *>(QStringLiteral("localDeviceListWidget"));
    auto *refresh = window.findChild<QPushButton *>(QStringLiteral("refreshDeviceButton"));
    QVERIFY(bound && local && refresh);
    std::unique_ptr<QSettings> settings(openSettingsStore(nullptr));
    QVERIFY(!settings->contains(QStringLiteral("settings/curr_devid")));

    QSignalSpy changed(&window, &MainWidget::currentDeviceChanged);
    QSignalSpy finished(bound, &UserDeviceListWidget::finished);
    bound->LoadDevices();
    QVERIFY(finished.wait(waitMs));
    // Nothing stored: the first bound device becomes current and is remembered.
    QCOMPARE(changed.count(), 1);
    DeviceItem *current = window.currentDevice();
    QVERIFY(current);
    QCOMPARE(current->deviceid, dev1);
    QVERIFY(!current->isLocal);
    QVERIFY(current->selected);
    settings->sync();
    QCOMPARE(settings->value(QStringLiteral("settings/curr_devid")).toString(), dev1);

    // Relay route: the request goes to the relay port, and the relay's log line shows it
    // forwarded to the device's query service with x-qm-* and the user query intact.
    const QString xctl = QString::number(lab_.device(dev1).value("xctl_port").toInt());
    const QString target = QStringLiteral("GET /dlna.csp?fname=dlna&opt=querydir"
                                          "&x-qm-devid=TVK0000000001&x-qm-pri=1&x-qm-port=") +
                           xctl +
                           QStringLiteral("&userid=880000001&username=demo&start=0&count=100"
                                          "&path= 200 ");
    const QString deviceLine = dev1 + QStringLiteral(" xctl ") + target;
    const QString relayLine = QStringLiteral("relay ") + deviceLine;
    int logStart = lab_.requestLog().size();
    QNetworkReply *reply = current->requestQueryDir(QString(), 0, 100);
    QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(waitMs));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(QJsonDocument::fromJson(reply->readAll()).object().value("rtn").toInt(-1), 0);
    QCOMPARE(reply->url().port(), lab_.relayPort());
    delete reply;
    // The lab writes its log lines after answering.
    QTRY_COMPARE_WITH_TIMEOUT(linesStarting(logSince(logStart), relayLine), 1, waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(linesStarting(logSince(logStart), deviceLine), 1, waitMs);

    // Now the LAN answers: the same device is reached directly and keeps its bound name.
    qputenv("KELVORA_DISCOVERY_TARGET", discoveryTarget().toUtf8());
    finished.clear();
    refresh->click();
    QTRY_COMPARE_WITH_TIMEOUT(local->count(), 2, waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() > 0, waitMs);
    current = window.currentDevice();
    QVERIFY(current->isLocal);
    QCOMPARE(current->deviceid, dev1);
    QCOMPARE(current->aliasname, QStringLiteral("客厅的盒子"));
    QCOMPARE(current->findChild<QLabel *>(QStringLiteral("nameLabel"))->text(),
             QStringLiteral("客厅的盒子（在线）"));
    // LAN route: straight to the device's query port; the relay sees nothing of it.
    logStart = lab_.requestLog().size();
    reply = current->requestQueryDir(QString(), 0, 100);
    QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(waitMs));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->url().port(), lab_.device(dev1).value("xctl_port").toInt());
    delete reply;
    QTRY_COMPARE_WITH_TIMEOUT(linesStarting(logSince(logStart), deviceLine), 1, waitMs);
    QCOMPARE(linesStarting(logSince(logStart), QStringLiteral("relay ")), 0);

    // Double-clicking a LAN-only device makes it current without storing it.
    QListWidgetItem *lanRow = nullptr;
    for (int row = 0; row < local->count(); ++row) {
        if (local->deviceAt(row)->deviceid == dev3)
            lanRow = local->item(row);
    }
    QVERIFY(lanRow);
    const int before = changed.count();
    emit local->itemDoubleClicked(lanRow);
    QCOMPARE(changed.count(), before + 1);
    QCOMPARE(window.currentDevice()->deviceid, dev3);
    QVERIFY(local->deviceAt(local->row(lanRow))->selected);
    settings->sync();
    QCOMPARE(settings->value(QStringLiteral("settings/curr_devid")).toString(), dev1);

    // Double-clicking a bound device stores it; the next load brings it back.
    QListWidgetItem *boundRow = bound->item(1);
    QCOMPARE(bound->deviceAt(1)->deviceid, dev2);
    emit bound->itemDoubleClicked(boundRow);
    QCOMPARE(window.currentDevice()->deviceid, dev2);
    QVERIFY(!window.currentDevice()->isLocal);
    QVERIFY(bound->deviceAt(1)->selected && !bound->deviceAt(0)->selected);
    settings->sync();
    QCOMPARE(settings->value(QStringLiteral("settings/curr_devid")).toString(), dev2);
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
    QVERIFY(window.currentDevice());
    QCOMPARE(window.currentDevice()->deviceid, dev3);
    QCOMPARE(changed.count(), 0);
    qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:9");
}

QTEST_MAIN(TestDeviceLab)
#include "tst_devicelab.moc"
