// The rules behind the transfer pages without a window: the totals row, the recent files'
// days, the room a download needs.
#include "store/database.h"
#include "transfer/freespace.h"
#include "transfer/recentlisting.h"
#include "transfer/transfertotals.h"

#include <QtTest>

class TestTransferRules : public QObject
{
    Q_OBJECT

private slots:
    void totals_data();
    void totals();
    void recentDays();
    void recentLimit();
    void freeSpace_data();
    void freeSpace();
};

void TestTransferRules::totals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<qint64>>("sums"); // count, completed, total, done, speed
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QString>("speed");
    QTest::newRow("three of four uploads") << 1 << QList<qint64>{4, 3, 4000, 3000, 1536} << true
                                           << "上传进度：75% 共4个文件，还剩1个文件"
                                           << "上传速度：1.50 KB/s";
    QTest::newRow("truncated, downloads")
        << 0 << QList<qint64>{3, 0, 3, 2, 0} << true << "下载进度：66% 共3个文件，还剩3个文件"
        << "下载速度：0 字节/s";
    QTest::newRow("nothing to transfer") << 1 << QList<qint64>{2, 0, 0, 0, 0} << false << ""
                                         << "";
    QTest::newRow("an upload's count beyond its size")
        << 1 << QList<qint64>{1, 0, 100, 180, 0} << true << "上传进度：100% 共1个文件，还剩1个文件"
        << "上传速度：0 字节/s";
    QTest::newRow("terabytes do not overflow")
        << 0 << QList<qint64>{2, 1, qint64(1) << 50, qint64(1) << 49, 0} << true
        << "下载进度：50% 共2个文件，还剩1个文件"
        << "下载速度：0 字节/s";
}

void TestTransferRules::totals()
{
    QFETCH(int, kind);
    QFETCH(QList<qint64>, sums);
    QFETCH(bool, visible);
    QFETCH(QString, progress);
    QFETCH(QString, speed);
    TaskSummary sum;
    sum.count = int(sums[0]);
    sum.completedCount = int(sums[1]);
    sum.totalBytes = sums[2];
    sum.completedBytes = sums[3];
    sum.speed = int(sums[4]);
    QCOMPARE(TransferTotals::visible(sum), visible);
    if (!visible)
        return;
    QCOMPARE(TransferTotals::progressText(kind, sum), progress);
    QCOMPARE(TransferTotals::speedText(kind, sum), speed);
}

void TestTransferRules::recentDays()
{
    const QDate today(2024, 3, 1); // the day after a leap day
    const QList<RecentFileRecord> records{
        {0, 7, "/home/u/今天 a.txt", 2048, "2024-03-01 09:30:05"},
        {1, 3, "/home/u/b.bin", 10, "2024-03-01 08:00:00"},
        {0, 6, "/home/u/c", 0, "2024-02-29 23:59:59"},
        {0, 2, "no-folder.txt", 5, "2024-02-27 12:00:00"},
    };
    const QVector<RecentListing::Row> rows = RecentListing::rows(records, today);
    QStringList shape;
    for (const RecentListing::Row &row : rows)
        shape << (row.isHeader ? "[" + row.text + "]" : row.text);
    QCOMPARE(shape, QStringList({"[今天]", "今天 a.txt", "b.bin", "[昨天]", "c", "[2024-02-27]",
                                 "no-folder.txt"}));
    // A download and an upload of one day share the header; each row keeps its data.
    QCOMPARE(rows[2].kind, 1);
    QCOMPARE(rows[2].id, qint64(3));
    QCOMPARE(rows[1].localPath, QString("/home/u/今天 a.txt"));
    QCOMPARE(rows[1].sizeText, QString("2.00 KB"));
    QCOMPARE(rows[1].timeText, QString("09:30:05"));
}

void TestTransferRules::recentLimit()
{
    // The database keeps 150 finished transfers; the table lists the newest 100.
    InitDatabase();
    const QDateTime start(QDate(2024, 1, 1), QTime(0, 0));
    for (int i = 0; i < 150; ++i)
        AddTask(i % 2, QUuid::createUuid(), "dev", "/media/sda1/f", QString("/tmp/f%1").arg(i), 1,
                1, 3, start.addSecs(i * 3600));
    AddTask(0, QUuid::createUuid(), "dev", "/r", "/tmp/unfinished", 0, 1, 1, start.addYears(1));
    const QVector<RecentListing::Row> rows =
        RecentListing::rows(GetRecentFiles(), QDate(2024, 1, 8));
    QStringList files;
    for (const RecentListing::Row &row : rows)
        if (!row.isHeader)
            files << row.text;
    QCOMPARE(files.size(), 100);
    QCOMPARE(files.first(), QString("f149"));
    QCOMPARE(files.last(), QString("f50"));
    QVERIFY(!files.contains("unfinished"));
}

void TestTransferRules::freeSpace_data()
{
    QTest::addColumn<qint64>("available");
    QTest::addColumn<qint64>("needed");
    QTest::addColumn<qint64>("pending");
    QTest::addColumn<qint64>("missing");
    QTest::newRow("fits") << qint64(1000) << qint64(600) << qint64(400) << qint64(0);
    QTest::newRow("the queue takes the room")
        << qint64(1000) << qint64(600) << qint64(500) << qint64(100);
    QTest::newRow("unknown disk") << qint64(-1) << qint64(600) << qint64(0) << qint64(0);
    QTest::newRow("nothing needed") << qint64(0) << qint64(0) << qint64(-5) << qint64(0);
    QTest::newRow("petabytes") << qint64(1) << (qint64(1) << 50) << qint64(0)
                               << (qint64(1) << 50) - 1;
}

void TestTransferRules::freeSpace()
{
    QFETCH(qint64, available);
    QFETCH(qint64, needed);
    QFETCH(qint64, pending);
    QFETCH(qint64, missing);
    QCOMPARE(FreeSpace::missing(available, needed, pending), missing);
}

QTEST_GUILESS_MAIN(TestTransferRules)
#include "tst_transferrules.moc"
