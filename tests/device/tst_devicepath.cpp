#include "device/devicepath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDevicePath : public QObject
{
    Q_OBJECT

private slots:
    void plainIdentifiersUnchanged()
    {
        QCOMPARE(safeDevicePathComponent(QStringLiteral("TVK1000A00000000001")),
                 QStringLiteral("TVK1000A00000000001"));
        QCOMPARE(safeDevicePathComponent(QStringLiteral("a-b_C9")), QStringLiteral("a-b_C9"));
    }

    void hostileIdentifiers_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("dotdot") << QStringLiteral("..");
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("empty") << QString();
        QTest::newRow("parent path") << QStringLiteral("../../etc");
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd");
        QTest::newRow("backslash") << QStringLiteral("..\\..\\Windows");
        QTest::newRow("drive") << QStringLiteral("C:\\x");
        QTest::newRow("nul") << QString::fromLatin1("a\0b", 3);
        QTest::newRow("control") << QStringLiteral("a\nb\tc\x7f");
        QTest::newRow("trailing dot") << QStringLiteral("abc.");
        QTest::newRow("reserved") << QStringLiteral("con");
        QTest::newRow("reserved upper") << QStringLiteral("LPT1");
        QTest::newRow("unicode") << QStringLiteral("设备/..");
        QTest::newRow("long") << QString(5000, QLatin1Char('/'));
        QTest::newRow("long plain") << QString(300, QLatin1Char('a'));
    }
    void hostileIdentifiers()
    {
        QFETCH(QString, id);
        const QString name = safeDevicePathComponent(id);
        QVERIFY(!name.isEmpty());
        QVERIFY(name != QLatin1String(".") && name != QLatin1String(".."));
        QVERIFY(name.size() <= 120);
        for (const QChar c : name) {
            QVERIFY2(c.unicode() > 0x20 && c.unicode() < 0x7f, qPrintable(name));
            QVERIFY(c != QLatin1Char('/') && c != QLatin1Char('\\') && c != QLatin1Char(':'));
        }
        QVERIFY(!name.endsWith(QLatin1Char('.')));
        QVERIFY(name.compare(QLatin1String("con"), Qt::CaseInsensitive) != 0);
        QVERIFY(name.compare(QLatin1String("lpt1"), Qt::CaseInsensitive) != 0);

        // Used as a folder below a data directory, it stays inside it.
        QTemporaryDir data;
        QVERIFY(data.isValid());
        const QString folder = QDir(data.path()).filePath(name);
        QCOMPARE(QFileInfo(QDir::cleanPath(folder)).dir().absolutePath(),
                 QDir(data.path()).absolutePath());
        QVERIFY(QDir().mkpath(folder));
        QFile probe(folder + QStringLiteral("/probe"));
        QVERIFY(probe.open(QIODevice::WriteOnly));
        QCOMPARE(QDir(data.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    void distinctIdentifiersStayDistinct()
    {
        const QStringList ids = {
            QStringLiteral("a.b"),   QStringLiteral("a%2Eb"), QStringLiteral("a/b"),
            QStringLiteral("a%2Fb"), QStringLiteral(".."),    QStringLiteral("%2E%2E"),
            QStringLiteral("CON"),   QStringLiteral("%43ON"), QString(),
            QStringLiteral("%"),     QString(300, 'x'),       QString(300, 'x') + QLatin1Char('y'),
            QStringLiteral("a~b"),   QStringLiteral("a%7Eb")};
        QSet<QString> names;
        for (const QString &id : ids)
            names.insert(safeDevicePathComponent(id));
        QCOMPARE(names.size(), ids.size());
        // Keep as sent: the same identifier always gives the same name.
        QCOMPARE(safeDevicePathComponent(QStringLiteral("a/b")),
                 safeDevicePathComponent(QStringLiteral("a/b")));
    }
};

QTEST_GUILESS_MAIN(TestDevicePath)
#include "tst_devicepath.moc"
