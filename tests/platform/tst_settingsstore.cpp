#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

#include <memory>

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void keysLiveUnderClient();

private:
    QString file() const
    {
        return QDir::homePath() + QStringLiteral("/.config/Vantor Network/Tovrik.conf");
    }
};

void TestSettingsStore::keysLiveUnderClient()
{
    QObject owner;
    QSettings *store = openSettingsStore(&owner);
    QCOMPARE(store->parent(), &owner);
    QCOMPARE(store->value(QStringLiteral("version")), QVariant());
    store->setValue(QStringLiteral("settings/lastsavepath"), QStringLiteral("/home/u/下载"));
    store->setValue(QStringLiteral("settings/curr_devid"), QStringLiteral("dev-1"));
    store->sync();
    QCOMPARE(store->status(), QSettings::NoError);
    QCOMPARE(QDir::cleanPath(store->fileName()), file());
    QVERIFY(QFile::exists(file()));

    // Read the file on its own, without the store's group.
    QSettings plain(file(), QSettings::IniFormat);
    QCOMPARE(plain.childGroups(), QStringList{QStringLiteral("client")});
    QCOMPARE(plain.value(QStringLiteral("client/settings/lastsavepath")).toString(),
             QStringLiteral("/home/u/下载"));
    QCOMPARE(plain.value(QStringLiteral("client/settings/curr_devid")).toString(),
             QStringLiteral("dev-1"));

    // The installer's key, written from outside, reads as "version".
    plain.setValue(QStringLiteral("client/version"), QStringLiteral("2.3.4.5"));
    plain.sync();
    std::unique_ptr<QSettings> again(openSettingsStore(nullptr));
    QCOMPARE(again->group(), QStringLiteral("client")); // not nested
    QCOMPARE(again->value(QStringLiteral("version")).toString(), QStringLiteral("2.3.4.5"));
    QCOMPARE(again->value(QStringLiteral("settings/curr_devid")).toString(),
             QStringLiteral("dev-1"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
