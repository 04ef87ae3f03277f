#include "device/deviceitem.h"
#include "device/deviceselection.h"
#include "device/localdevicelistwidget.h"
#include "device/userdevicelistwidget.h"

#include <QLabel>
#include <QtTest>

namespace {

DeviceItem *addBound(UserDeviceListWidget &list, const QString &id, const QString &name,
                     bool online = true)
{
    auto *row = new QListWidgetItem(&list);
    auto *card = new DeviceItem(&list);
    card->deviceid = id;
    card->aliasname = name;
    card->onlinestatus = online;
    card->updateStatus();
    list.setItemWidget(row, card);
    return card;
}

QByteArray answer(const QString &id)
{
    return QStringLiteral(
               R"({"id":"%1","ip":"127.0.0.1","xctl_port":1,"mps_port":2,"http_port":3})")
        .arg(id)
        .toUtf8();
}

} // namespace

class TestDeviceSelection : public QObject
{
    Q_OBJECT

private slots:
    void markChosen()
    {
        UserDeviceListWidget bound;
        DeviceItem *a = addBound(bound, QStringLiteral("A"), QStringLiteral("a"));
        DeviceItem *b = addBound(bound, QStringLiteral("B"), QStringLiteral("b"));
        QCOMPARE(DeviceSelection::markChosen(bound.item(1)), b);
        QVERIFY(b->selected && !a->selected);
        QCOMPARE(DeviceSelection::markChosen(bound.item(0)), a);
        QVERIFY(a->selected && !b->selected);
        QVERIFY(!DeviceSelection::markChosen(nullptr));
    }

    void lanCardWinsAndTakesBoundName()
    {
        UserDeviceListWidget bound;
        LocalDeviceListWidget local;
        const QString shared = QStringLiteral("TVK1000A000000DEV1");
        DeviceItem *boundCard = addBound(bound, shared, QStringLiteral("客厅的盒子"));
        addBound(bound, QStringLiteral("TVK1000A000000DEV2"), QStringLiteral("书房"), false);
        local.handleAnswer(answer(shared));
        local.handleAnswer(answer(QStringLiteral("TVK1000A000000DEV3")));
        DeviceItem *lanCard = local.findDevice(shared);
        QCOMPARE(lanCard->aliasname, QStringLiteral("DEV1"));

        QVERIFY(!DeviceSelection::resolveCurrent(&local, &bound, QString()));
        QCOMPARE(DeviceSelection::resolveCurrent(&local, &bound, shared), lanCard);
        QVERIFY(lanCard != boundCard);
        QCOMPARE(lanCard->aliasname, QStringLiteral("客厅的盒子"));
        QCOMPARE(lanCard->findChild<QLabel *>(QStringLiteral("nameLabel"))->text(),
                 QStringLiteral("客厅的盒子（在线）"));
        QCOMPARE(lanCard->toolTip(), QStringLiteral("客厅的盒子"));
        // Bound only, LAN only, unknown.
        QCOMPARE(
            DeviceSelection::resolveCurrent(&local, &bound, QStringLiteral("TVK1000A000000DEV2")),
            DeviceSelection::findCard(&bound, QStringLiteral("TVK1000A000000DEV2")));
        DeviceItem *lanOnly =
            DeviceSelection::resolveCurrent(&local, &bound, QStringLiteral("TVK1000A000000DEV3"));
        QVERIFY(lanOnly && lanOnly->isLocal);
        QCOMPARE(lanOnly->aliasname, QStringLiteral("DEV3"));
        QVERIFY(!DeviceSelection::resolveCurrent(&local, &bound, QStringLiteral("gone")));
    }

    void restoreTarget()
    {
        UserDeviceListWidget bound;
        QVERIFY(!DeviceSelection::restoreTarget(&bound, QStringLiteral("A")));
        addBound(bound, QStringLiteral("A"), QStringLiteral("a"));
        addBound(bound, QStringLiteral("B"), QStringLiteral("b"));
        QCOMPARE(DeviceSelection::restoreTarget(&bound, QStringLiteral("B")), bound.item(1));
        // No longer bound, or nothing stored: the first.
        QCOMPARE(DeviceSelection::restoreTarget(&bound, QStringLiteral("C")), bound.item(0));
        QCOMPARE(DeviceSelection::restoreTarget(&bound, QString()), bound.item(0));
    }

    void nameText()
    {
        DeviceItem card;
        card.aliasname = QStringLiteral("盒子");
        card.onlinestatus = true;
        QCOMPARE(DeviceSelection::nameText(&card), QStringLiteral("盒子（在线）"));
        card.onlinestatus = false;
        QCOMPARE(DeviceSelection::nameText(&card), QStringLiteral("盒子（离线）"));
    }
};

QTEST_MAIN(TestDeviceSelection)
#include "tst_deviceselection.moc"
