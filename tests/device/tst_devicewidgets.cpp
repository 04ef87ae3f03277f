// The device cards, the two device lists and the choice of the current device, on loopback:
// a fake HTTP server plays the device-management server and the device's query service, a UDP
// socket takes the discovery requests.
#include "app/messagebox.h"
#include "app/networkmanager.h"
#include "device/deviceitem.h"
#include "device/deviceselection.h"
#include "device/localdevicelistwidget.h"
#include "device/replyholder.h"
#include "device/userdevicelistwidget.h"
#include "tests/support/loopbackserver.h"
#include "tests/support/standinhost.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTextDocument>
#include <QUdpSocket>
#include <QtTest>

namespace {

const int waitMs = 30000;

// Qt's complaints about a reply whose error was reported twice ("Internal problem").
QStringList doubleErrorReports;
QtMessageHandler previousHandler = nullptr;

// The stand-in with a window of its own for the cards and toasts.
struct DeviceTestHost : StandInHost
{
    DeviceTestHost()
    {
        frame.resize(400, 300);
        window = &frame;
    }
    QWidget frame;
};

QLabel *label(const QWidget *card, const char *name)
{
    return card->findChild<QLabel *>(name);
}

// What a reader sees of a text Qt may take for markup.
QString shown(const QString &text, Qt::TextFormat format = Qt::AutoText)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// A card's record and name label in one line.
QString cardText(const DeviceItem *c)
{
    return QStringList{
        c->deviceid, c->aliasname,
        c->isLocal ? "LAN " + c->intraip
                   : "relay " + c->serverip + ':' + QString::number(c->serverport),
        QStringLiteral("%1,%2,%3").arg(c->xctl_port).arg(c->mps_port).arg(c->http_port),
        label(c, "nameLabel")->text()}
        .join('|');
}

QByteArray answer(const QString &id, const QString &ip = "127.0.0.1", int xctl = 18081)
{
    return QJsonDocument(QJsonObject{{"id", id},
                                     {"ip", ip},
                                     {"xctl_port", xctl},
                                     {"mps_port", xctl + 1},
                                     {"http_port", xctl + 2}})
        .toJson();
}

// A card in the host window. A LAN card reaches the service at its own address, a bound card
// through the relay; the other route leads to port 1, where nothing listens.
DeviceItem *card(DeviceTestHost &host, quint16 port, bool online, bool local = true)
{
    auto *item = new DeviceItem(&host.frame);
    item->setHost(&host);
    item->deviceid = "TVK1000A00000000001";
    item->aliasname = "客厅";
    item->isLocal = local;
    item->intraip = item->serverip = "127.0.0.1";
    item->xctl_port = local ? port : 1;
    item->serverport = local ? 1 : port;
    item->onlinestatus = online;
    item->updateStatus();
    return item;
}

DeviceItem *addBound(UserDeviceListWidget &list, const QString &id, bool online = true)
{
    auto *card = new DeviceItem(&list);
    card->deviceid = id;
    card->aliasname = id.toLower();
    card->onlinestatus = online;
    card->updateStatus();
    list.setItemWidget(new QListWidgetItem(&list), card);
    return card;
}

int missed(const QListWidget &list, int row)
{
    return list.item(row)->data(LocalDeviceListWidget::MissedRole).toInt();
}

// A bound list over a fake device-management server listing two devices.
class BoundFixture
{
public:
    BoundFixture()
    {
        server.reply = R"({"ret":0,"devices":[
            {"deviceid":"TVK1000A00000000001","aliasname":"%E5%AE%A2%E5%8E%85%E7%9A%84%E7%9B%92%E5%AD%90",
             "serverip":"127.0.0.1","serverport":18090,"intraip":"192.168.1.2","onlinestatus":1,
             "new_port_set":{"xctl_port":18081,"mps_port":18082,"http_port":18083}},
            {"deviceid":"TVK1000A000000BOX2","aliasname":"","serverip":"127.0.0.1",
             "serverport":18090,"intraip":"192.168.1.3","onlinestatus":0}]})";
        qputenv("KELVORA_DEVICE_MANAGER", server.origin());
        host.signIn(1, "u", "s");
    }
    ~BoundFixture() { qunsetenv("KELVORA_DEVICE_MANAGER"); }

    // Runs one load and returns once its reply has been handled.
    void load()
    {
        QSignalSpy handled(networkManager(), &QNetworkAccessManager::finished);
        list.LoadDevices();
        QVERIFY(handled.wait(waitMs));
    }

    DeviceTestHost host;
    LoopbackServer server;
    UserDeviceListWidget list{&host.frame};
    bool hosted = (list.setHost(&host), true);
};

} // namespace

class TestDeviceWidgets : public QObject
{
    Q_OBJECT

private:
    QUdpSocket device;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QNetworkReply *>();
        previousHandler = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (text.contains("Internal problem"))
                    doubleErrorReports.append(text);
                previousHandler(type, context, text);
            });
        QVERIFY(device.bind(QHostAddress(QHostAddress::LocalHost), 0));
        qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:" + QByteArray::number(device.localPort()));
    }

    void init()
    {
        while (MessageBox *toast = MessageBox::queueHead())
            delete toast;
    }

    // Hovering shows the hover mark; a selected card keeps its clicked mark through hovering.
    void cardHoverAndSelection()
    {
        DeviceItem item;
        QLabel *flag = label(&item, "flagLabel");
        QVERIFY(flag->isHidden() && !item.selected && !item.diskInfoReply);
        QEvent enter(QEvent::Enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&item, &enter);
        QVERIFY(!flag->isHidden());
        QApplication::sendEvent(&item, &leave);
        QVERIFY(flag->isHidden());
        item.setSelected(true);
        const QImage clicked = flag->pixmap(Qt::ReturnByValue).toImage();
        QApplication::sendEvent(&item, &enter);
        QCOMPARE(flag->pixmap(Qt::ReturnByValue).toImage(), clicked);
        QApplication::sendEvent(&item, &leave);
        QVERIFY(item.selected && !flag->isHidden());
        item.setSelected(false);
        QVERIFY(flag->isHidden());
    }

    void diskFigures_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("local");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("tip");
        const QByteArray twoDisks = R"({"rtn":0,"disklist":[
            {"Partitionlist":[{"name":"A","size":536870912000,"used":107374182400}]},
            {"Partitionlist":[{"name":"B","size":1099511627776,"used":214748364800}]}]})";
        QTest::newRow("off-line") << false << true << twoDisks << "未知大小"
                                  << "客厅";
        QTest::newRow("on-line, LAN") << true << true << twoDisks << "1224GB可用/1524GB"
                                      << "设备: 客厅\n硬盘: 1224GB可用/1524GB";
        QTest::newRow("on-line, relay, unusable reply")
            << true << false
            << QByteArray(R"({"rtn":1,"disklist":[{"Partitionlist":[{"size":5,"used":1}]}]})")
            << "0GB可用/0GB"
            << "客厅";
    }
    void diskFigures()
    {
        QFETCH(bool, online);
        QFETCH(bool, local);
        QFETCH(QByteArray, reply);
        QFETCH(QString, size);
        QFETCH(QString, tip);
        DeviceTestHost host;
        host.signIn(7, "demo", "s");
        LoopbackServer server;
        server.reply = reply;
        DeviceItem *item = card(host, server.serverPort(), online, local);
        QCOMPARE(label(item, "nameLabel")->text(), online ? "客厅（在线）" : "客厅（离线）");
        // Shown: an on-line card asks for its disks (on its own route: the other leads nowhere),
        // an off-line one not.
        host.frame.show();
        QCOMPARE(bool(item->diskInfoReply), online);
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        QCOMPARE(label(item, "sizeLabel")->text(), size);
        QCOMPARE(item->toolTip(), tip);
        QCOMPARE(server.heads.size(), online ? 1 : 0);
        if (!online)
            return;
        // Shown again: it asks again.
        host.frame.hide();
        server.reply = R"({"rtn":0,"disklist":[{"Partitionlist":[]}]})";
        host.frame.show();
        QVERIFY(item->diskInfoReply);
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        QCOMPARE(label(item, "sizeLabel")->text(), "0字节可用/0字节");
        QCOMPARE(server.heads.size(), 2);
    }

    // Failed disk queries read "查询失败"; only the current device's failure reaches the
    // window. A card removed after its query failed but before the reply finished is released
    // without a second error report and without calling back into it.
    void failedDiskQuery()
    {
        DeviceTestHost host;
        DeviceItem *other = card(host, LoopbackServer::closedPort(), true);
        DeviceItem *current = host.current = card(host, LoopbackServer::closedPort(), true);
        DeviceItem *removed = card(host, LoopbackServer::closedPort(), true);
        host.frame.show();
        QPointer<QNetworkReply> reply = removed->diskInfoReply;
        QVERIFY(reply);
        connect(reply, &QNetworkReply::errorOccurred, removed, [removed] { delete removed; });
        QTRY_VERIFY_WITH_TIMEOUT(!other->diskInfoReply && !current->diskInfoReply && !reply,
                                 waitMs);
        QCOMPARE(label(other, "sizeLabel")->text(), "查询失败");
        QCOMPARE(label(current, "sizeLabel")->text(), "查询失败");
        QCOMPARE(host.errors,
                 QList<QNetworkReply::NetworkError>{QNetworkReply::ConnectionRefusedError});
        QCOMPARE(doubleErrorReports, QStringList());
    }

    // A box that never answers: its card says the query timed out, and so does the toast of
    // the current device. Its name, markup or not, shows as typed on the card and in the tips.
    void untrustedBox()
    {
        const ReplyHolder::Limits saved = ReplyHolder::defaultLimits();
        ReplyHolder::Limits quick = saved;
        quick.timeoutMs = 300;
        ReplyHolder::setDefaultLimits(quick);
        DeviceTestHost host;
        LoopbackServer server;
        server.mode = LoopbackServer::Silent;
        DeviceItem *item = host.current = card(host, server.serverPort(), true);
        item->aliasname = "<b>客厅</b><img src=x>";
        item->updateStatus();
        host.frame.show();
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        ReplyHolder::setDefaultLimits(saved);
        QCOMPARE(label(item, "sizeLabel")->text(), "查询超时");
        QCOMPARE(host.errors, QList<QNetworkReply::NetworkError>{QNetworkReply::TimeoutError});
        QCOMPARE(shown(label(item, "nameLabel")->text(), label(item, "nameLabel")->textFormat()),
                 "<b>客厅</b><img src=x>（在线）");
        QCOMPARE(shown(item->toolTip()), "<b>客厅</b><img src=x>");
        // A compressed body would be inflated before any cap saw it: the box is asked for none.
        QVERIFY2(server.heads.value(0).contains("\r\nAccept-Encoding: identity"),
                 server.heads.value(0).constData());

        server.mode = LoopbackServer::Answer;
        server.reply = R"({"rtn":0,"disklist":[{"Partitionlist":[{"size":2048,"used":0}]}]})";
        host.frame.hide();
        host.frame.show();
        QTRY_VERIFY_WITH_TIMEOUT(!item->diskInfoReply, waitMs);
        QCOMPARE(shown(item->toolTip()), "设备: <b>客厅</b><img src=x>\n硬盘: 2KB可用/2KB");
    }

    void requestsAndTheirErrors()
    {
        DeviceTestHost host;
        host.signIn(880000001, "de mo", "s");
        DeviceItem *item = card(host, LoopbackServer::closedPort(), true);
        QCOMPARE(item->userQuery(), "&userid=880000001&username=de mo");
        const QList<QNetworkReply *> replies{item->requestQueryDir("/media/a b/%E4%B8%AD", 0, 100),
                                             item->requestFileList(29489, 0, 50),
                                             item->requestFileData("/a", 3, 1),
                                             item->requestRealVideo(830, -1, 0, 20),
                                             item->requestDelete("/a|/b"),
                                             item->requestMkdir("/a/b"),
                                             item->requestFileData("/t", 1, 1),
                                             item->requestUsbInfo()};
        for (QNetworkReply *reply : replies) {
            if (!reply->isFinished())
                QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(waitMs));
        }
        // Six of them report; the thumbnail and the disk query of a non-current card do not.
        QCOMPARE(host.errors,
                 QVector<QNetworkReply::NetworkError>(6, QNetworkReply::ConnectionRefusedError)
                     .toList());
        qDeleteAll(replies);
    }

    void boundListLoads()
    {
        BoundFixture f;
        f.host.signedIn.signedIn = false;
        // A trailing "/" on the server address is not doubled.
        qputenv("KELVORA_DEVICE_MANAGER", f.server.origin() + "/");
        QSignalSpy finished(&f.list, &UserDeviceListWidget::finished);
        QVERIFY(f.list.styleSheet().contains("empty.png")); // empty from the start
        f.list.LoadDevices();                               // nobody signed in: no request
        f.host.signIn(880000001, "demo", "sess-1");
        f.load();
        QCOMPARE(f.server.heads.size(), 1);
        QCOMPARE(finished.count(), 1);
        const QByteArray head = f.server.heads.at(0) + "\r\n";
        QVERIFY2(head.startsWith("GET /tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0 "),
                 head.constData());
        // The session goes along; no compressed body could slip past the size cap.
        QVERIFY2(head.contains("\r\nCookie: sessionid=sess-1; userid=880000001; "
                               "clientoperationid=81; platform=windows\r\n") &&
                     head.contains("\r\nAccept-Encoding: none\r\n"),
                 head.constData());

        QCOMPARE(f.list.count(), 2);
        QVERIFY(!f.list.styleSheet().contains("empty.png"));
        DeviceItem *first = f.list.deviceAt(0);
        QCOMPARE(cardText(first), "TVK1000A00000000001|客厅的盒子|relay 127.0.0.1:18090|"
                                  "18081,18082,18083|客厅的盒子（在线）");
        QCOMPARE(f.list.findDevice("TVK1000A000000BOX2"), f.list.deviceAt(1));

        // An unusable reply keeps the rows, says nothing and does not signal.
        QPointer<DeviceItem> kept = first;
        f.server.reply = R"({"ret":1,"devices":[]})";
        f.load();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(kept && f.list.count() == 2 && finished.count() == 1 && !MessageBox::queueHead());

        // An empty list shows the empty picture and still signals; the old cards go.
        f.server.reply = R"({"ret":0,"devices":[]})";
        f.load();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!kept && f.list.count() == 0 && finished.count() == 2);
        QVERIFY(f.list.styleSheet().contains("empty.png"));
    }

    // An answer for a session that is over fills nothing; the next one marks the current card.
    void boundListAnswerForOverSession()
    {
        BoundFixture f;
        f.host.currentId = "TVK1000A000000BOX2";
        QSignalSpy finished(&f.list, &UserDeviceListWidget::finished);
        QSignalSpy handled(networkManager(), &QNetworkAccessManager::finished);
        f.list.LoadDevices();
        f.host.signIn(2, "other", "s2");
        QVERIFY(handled.wait(waitMs));
        QCoreApplication::processEvents();
        QVERIFY(f.list.count() == 0 && finished.count() == 0 && !MessageBox::queueHead());
        f.load();
        QCOMPARE(f.list.count(), 2);
        QVERIFY(!f.list.deviceAt(0)->selected && f.list.deviceAt(1)->selected);
        // Dropped in flight: never answered.
        f.list.LoadDevices();
        QVERIFY(f.list.isLoading());
        f.list.abortLoads();
        QVERIFY(!f.list.isLoading());
        QTest::qWait(100);
        QCOMPARE(finished.count(), 1);
    }

    void boundListNetworkError()
    {
        BoundFixture f;
        QSignalSpy finished(&f.list, &UserDeviceListWidget::finished);
        f.load();
        qputenv("KELVORA_DEVICE_MANAGER",
                "http://127.0.0.1:" + QByteArray::number(LoopbackServer::closedPort()));
        f.load();
        QCOMPARE(f.list.count(), 2);
        QCOMPARE(finished.count(), 1);
        MessageBox *toast = MessageBox::queueHead();
        QVERIFY(toast);
        const QString prefix = "加载设备列表失败: ";
        QVERIFY2(toast->text().startsWith(prefix) && toast->text().size() > prefix.size(),
                 qPrintable(toast->text()));
        QCOMPARE(toast->parentWidget(), &f.host.frame);

        // A list that goes away (sign-out, window closed) after its query failed but before
        // the reply finished: the reply is released without a second error report.
        auto *list = new UserDeviceListWidget;
        list->setHost(&f.host);
        const int before = networkManager()->findChildren<QNetworkReply *>().size();
        list->LoadDevices();
        const QList<QNetworkReply *> replies = networkManager()->findChildren<QNetworkReply *>();
        QCOMPARE(replies.size(), before + 1);
        QPointer<QNetworkReply> reply = replies.last();
        connect(reply, &QNetworkReply::errorOccurred, list, [list] { delete list; });
        QTRY_VERIFY_WITH_TIMEOUT(!reply, waitMs);
        QCOMPARE(doubleErrorReports, QStringList());
    }

    // The round trip over UDP is the lab test's; here: what answers do to the list. The same id
    // from another address updates its row; an incomplete answer adds none.
    void discoveryAnswers()
    {
        const QString idA = "TVK1000A000000LAN1";
        LocalDeviceListWidget list;
        list.handleAnswer(answer(idA));
        DeviceItem *card = list.deviceAt(0);
        QCOMPARE(cardText(card), "TVK1000A000000LAN1|LAN1|LAN 127.0.0.1|18081,18082,18083|"
                                 "LAN1（在线）");
        QVERIFY(card->onlinestatus);
        QCOMPARE(missed(list, 0), 0);
        list.handleAnswer(answer(idA, "10.0.0.7", 20000));
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.findDevice(idA), card);
        QCOMPARE(card->intraip, "10.0.0.7");
        QCOMPARE(card->xctl_port, quint16(20000));
        list.handleAnswer(R"({"id":"X","ip":"1","xctl_port":1,"mps_port":2})");
        list.handleAnswer(answer("TVK1000A00000000003"));
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.deviceAt(1)->deviceid, "TVK1000A00000000003");
    }

    void discoverySweepAndMark()
    {
        const QString idA = "TVK1000A000000LAN1", idB = "TVK1000A00000000003";
        DeviceTestHost host;
        host.currentId = idB;
        LocalDeviceListWidget list;
        list.setHost(&host);
        QVERIFY(list.styleSheet().contains("empty.png"));
        list.handleAnswer(answer(idA));
        list.handleAnswer(answer(idB));
        QPointer<DeviceItem> cardA = list.findDevice(idA);
        QVERIFY(!list.styleSheet().contains("empty.png"));
        QVERIFY(!cardA->selected && list.findDevice(idB)->selected); // the current one
        // Cycle n: both marked, only B answers.
        list.Discover();
        QVERIFY(missed(list, 0) == 1 && missed(list, 1) == 1);
        list.handleAnswer(answer(idB));
        // Cycle n+1 starts: A goes, B stays and is marked again.
        list.Discover();
        QCOMPARE(list.count(), 1);
        QVERIFY(!list.findDevice(idA));
        QCOMPARE(list.deviceAt(0)->deviceid, idB);
        QCOMPARE(missed(list, 0), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!cardA);
        // A device that comes back gets a new row at the end; on screen, it asks for its disks.
        list.show();
        list.handleAnswer(answer(idA, "127.0.0.1", LoopbackServer::closedPort()));
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.deviceAt(1)->deviceid, idA);
        QVERIFY(list.deviceAt(1)->diskInfoReply);
        // Two cycles with no answer in between empty the list.
        list.Discover();
        list.Discover();
        QCOMPARE(list.count(), 0);
        QVERIFY(list.styleSheet().contains("empty.png"));
    }

    void selectionInTheBoundList()
    {
        UserDeviceListWidget bound;
        QVERIFY(!DeviceSelection::restoreTarget(&bound, "A"));
        DeviceItem *a = addBound(bound, "A");
        DeviceItem *b = addBound(bound, "B", false);
        bound.markCurrent("B");
        QVERIFY(b->selected && !a->selected);
        bound.markCurrent(QString());
        QVERIFY(!a->selected && !b->selected);
        // The stored device when still bound; else, or with nothing stored, the first.
        QCOMPARE(DeviceSelection::restoreTarget(&bound, "B"), bound.item(1));
        QCOMPARE(DeviceSelection::restoreTarget(&bound, "C"), bound.item(0));
        QCOMPARE(DeviceSelection::restoreTarget(&bound, QString()), bound.item(0));
    }
};

QTEST_MAIN(TestDeviceWidgets)
#include "tst_devicewidgets.moc"
