// The transfer engine's rules without a network: local save names, the speed window, the
// request texts on both routes, Content-Range, and the final rename that never replaces.
#include "transfer/partfile.h"
#include "transfer/savename.h"
#include "transfer/speedwindow.h"
#include "transfer/transferurls.h"

#include <QTemporaryDir>
#include <QtTest>

class TestTransferUnits : public QObject
{
    Q_OBJECT

private slots:
    void saveNames_data();
    void saveNames();
    void speedWindow();
    void requestTexts();
    void contentRange_data();
    void contentRange();
    void moveNeverReplaces();
};

void TestTransferUnits::saveNames_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free") << QStringList{} << "/media/sda1/a.tar.gz"
                          << "a.tar.gz";
    QTest::newRow("taken") << QStringList{"a.tar.gz"} << "/media/sda1/a.tar.gz"
                           << "a(1).tar.gz";
    QTest::newRow("unfinished counts")
        << QStringList{"a.tar.gz", "a(1).tar.gz.vbxdl"} << "/media/sda1/a.tar.gz"
        << "a(2).tar.gz";
    QTest::newRow("no dot") << QStringList{"README"} << "/media/sda1/README"
                            << "README(1)";
    QTest::newRow("promised to another download") << QStringList{"@b.txt"} << "/media/sda1/b.txt"
                                                  << "b(1).txt";
    QTest::newRow("dot dot") << QStringList{} << "/media/sda1/.."
                             << "_..";
    QTest::newRow("dots only") << QStringList{} << "/media/sda1/...."
                               << "_....";
    QTest::newRow("empty") << QStringList{} << "/media/sda1/"
                           << "_";
    QTest::newRow("backslash") << QStringList{} << "/media/x/..\\..\\evil"
                               << ".._.._evil";
    QTest::newRow("control") << QStringList{} << QString("/m/a\nb\x01.txt") << "a_b_.txt";
    QTest::newRow("odd but fine") << QStringList{} << "/m/'q' %41 #&.txt"
                                  << "'q' %41 #&.txt";
}

void TestTransferUnits::saveNames()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, remote);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QSet<QString> taken;
    for (const QString &name : existing) {
        if (name.startsWith('@')) {
            taken.insert(dir.path() + '/' + name.mid(1));
            continue;
        }
        QFile f(dir.path() + '/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString path = SaveName::forRemotePath(dir.path(), remote, taken);
    QCOMPARE(path, dir.path() + '/' + expected);
    QCOMPARE(QFileInfo(path).absolutePath(), dir.path());
}

void TestTransferUnits::speedWindow()
{
    SpeedWindow w;
    w.add(0);
    QCOMPARE(w.rate(), 0); // one sample tells nothing
    w.add(100000);
    w.add(200000);
    QCOMPARE(w.rate(), 200000);
    // Twelve samples: the ten newest stay, the rate spans the last five intervals.
    for (int i = 3; i < 12; ++i)
        w.add(i * 100000 + (i == 11 ? 500000 : 0));
    QCOMPARE(w.size(), 10);
    QCOMPARE(w.rate(), (1600000 - 600000) * 2 / 5);
}

void TestTransferUnits::requestTexts()
{
    DeviceRecord d;
    d.deviceid = "TVK1";
    d.serverip = "10.0.0.9";
    d.serverport = 18090;
    d.intraip = "192.168.1.5";
    d.mps_port = 18082;
    d.http_port = 18083;
    const QString file = "/media/sda1/名 a&b#c%41~.bin";
    const QString encoded = "/media/sda1/%E5%90%8D%20a%26b%23c%2541~.bin";
    d.isLocal = true;
    QCOMPARE(TransferUrls::download(d, file),
             "http://192.168.1.5:18083" + encoded + "?x-qm-devid=TVK1&x-qm-pri=1&x-qm-port=18083");
    QCOMPARE(TransferUrls::upload(d, "/media/sda1/上传", "/home/me/a b&c#%41.txt"),
             "http://192.168.1.5:18082/upload.csp?x-qm-devid=TVK1&x-qm-pri=1&x-qm-port=18082"
             "&uploadpath=/media/sda1/上传&file=a%20b%26c%23%2541.txt&opt=overwrite");
    d.isLocal = false;
    QCOMPARE(TransferUrls::download(d, file),
             "http://10.0.0.9:18090" + encoded + "?x-qm-devid=TVK1&x-qm-pri=1&x-qm-port=18083");
    QVERIFY(TransferUrls::upload(d, "/m", "/x/y.txt")
                .startsWith("http://10.0.0.9:18090/upload.csp?x-qm-devid=TVK1&x-qm-pri=1&"
                            "x-qm-port=18082&"));
    // What goes on the wire keeps the encoding of the name.
    QCOMPARE(
        TransferUrls::toUrl(TransferUrls::download(d, file)).toEncoded(),
        QString("http://10.0.0.9:18090" + encoded + "?x-qm-devid=TVK1&x-qm-pri=1&x-qm-port=18083")
            .toLatin1());
    QCOMPARE(TransferUrls::rangeHeader(1000), QByteArray("bytes=1000-"));
}

void TestTransferUnits::contentRange_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<qint64>("total");
    const auto row = [](const char *name, const char *value, qint64 first, qint64 last,
                        qint64 total) {
        QTest::newRow(name) << QByteArray(value) << first << last << total;
    };
    row("plain", "bytes 1000-4999/5000", 1000, 4999, 5000);
    row("big", "bytes 0-1/8589934592", 0, 1, 8589934592);
    row("unit in capitals, blanks around", " Bytes  7-7/8 ", 7, 7, 8);
    row("unknown total", "bytes 5-9/*", 5, 9, -1);
    row("unsatisfied", "bytes */77", -1, -1, 77);
    // Refused whole: no part of such a value may place bytes in the file.
    row("last at the total", "bytes 0-5000/5000", -1, -1, -1);
    row("reversed", "bytes 9-5/100", -1, -1, -1);
    row("first past a small total", "bytes 1000-4999/500", -1, -1, -1);
    row("slash first", "/5000", -1, -1, -1);
    row("no slash", "bytes 0-9", -1, -1, -1);
    row("no last", "bytes 1000-/1010", -1, -1, -1);
    row("no unit", "0-9/10", -1, -1, -1);
    row("other unit", "items 0-9/10", -1, -1, -1);
    row("garbage", "bytes a-b/c", -1, -1, -1);
    row("negative total", "bytes 0-9/-5", -1, -1, -1);
    row("signed first", "bytes +0-9/10", -1, -1, -1);
    row("past 63 bits", "bytes 0-9/9223372036854775808", -1, -1, -1);
    row("nothing known", "bytes */*", -1, -1, -1);
}

void TestTransferUnits::contentRange()
{
    QFETCH(QByteArray, value);
    const TransferUrls::ContentRange r = TransferUrls::parseContentRange(value);
    QTEST(r.first, "first");
    QTEST(r.last, "last");
    QTEST(r.total, "total");
}

void TestTransferUnits::moveNeverReplaces()
{
    QTemporaryDir dir;
    const QString target = dir.path() + "/done.bin";
    QFile other(target);
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("theirs") == 6);
    other.close();

    PartFile part;
    QVERIFY(part.open(dir.path() + "/done.bin.vbxdl", 0));
    QVERIFY(part.write("ours!", 5));
    bool clash = false;
    QVERIFY(!part.moveTo(target, &clash));
    QVERIFY(clash);
    QCOMPARE(PartFile::lengthOf(dir.path() + "/done.bin.vbxdl"), 5);
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("theirs"));
    QVERIFY(part.moveTo(dir.path() + "/done(1).bin", &clash));
    QCOMPARE(PartFile::lengthOf(dir.path() + "/done(1).bin"), 5);
    QCOMPARE(PartFile::lengthOf(dir.path() + "/done.bin.vbxdl"), -1);

    // Reopening cuts what lies beyond the offset: nothing is repeated after a resume.
    QVERIFY(part.open(dir.path() + "/done(1).bin", 2));
    QVERIFY(part.write("XY", 2));
    part.close();
    QFile check(dir.path() + "/done(1).bin");
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("ouXY"));
}

QTEST_GUILESS_MAIN(TestTransferUnits)
#include "tst_transferunits.moc"
