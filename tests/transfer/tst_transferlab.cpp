// The transfer engine against the lab on both routes: the queue, pause and resume, every way a
// download can end (cut, whole file to a range, clash at the rename, write failures), uploads
// of odd names, and the reload when the current device changes.
#include "store/database.h"
#include "tests/transfer/transferlabtest.h"
#include "transfer/partfile.h"
#include "transfer/taskmanager.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const qint64 kSize = 8 * 1024 * 1024;
const int kWaitMs = 60000;
const QString kRemote = QStringLiteral("/media/sda1/引擎 测试/源 #1&.bin");

bool ended(const Task *t)
{
    return t->status() == Task::Complete || t->status() == Task::Failed ||
           t->status() == Task::Paused;
}

QJsonObject faults(const QString &scope, const QJsonObject &set)
{
    return QJsonObject{{scope, set}};
}

QJsonObject rate(qint64 bytesPerSecond)
{
    return faults(kDev1, {{"rate_limit_bytes_per_s", double(bytesPerSecond)}});
}

} // namespace

class TestTransferLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void queueOrderPauseAndResume();
    void endings_data();
    void endings();
    void misplacedParts_data();
    void misplacedParts();
    void renameClash();
    void writeFailures_data();
    void writeFailures();
    void uploadsOddNames();
    void uploadFailures_data();
    void uploadFailures();
    void deviceSwitch();

private:
    Task *download(const QString &name, qint64 total = kSize)
    {
        return manager->createTask(kDev1, Task::Download, kRemote, dir->path() + '/' + name, total);
    }
    bool waitEnded(Task *t)
    {
        return QTest::qWaitFor([t] { return ended(t); }, kWaitMs);
    }
    bool waitBytes(Task *t, qint64 n)
    {
        return QTest::qWaitFor([t, n] { return t->bytesCompleted() >= n || ended(t); }, kWaitMs);
    }

    LabProcess lab;
    QByteArray source;
    QString sourcePath;
    DeviceRecord current;
    TaskManager *manager = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestTransferLab::initTestCase()
{
    QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
    InitDatabase();
    source = pseudoRandom(kSize, 7);
    sourcePath = lab.device(kDev1).value("root").toString() + "/sda1/引擎 测试/源 #1&.bin";
    QVERIFY(QDir().mkpath(QFileInfo(sourcePath).path()) && writeFile(sourcePath, source));
}

void TestTransferLab::init()
{
    QVERIFY(lab.setFaults({}));
    QSqlQuery().exec("DELETE FROM download");
    QSqlQuery().exec("DELETE FROM upload");
    current = labDevice(lab, kDev1, false);
    manager = new TaskManager([this] { return &current; });
    dir = std::make_unique<QTemporaryDir>();
}

void TestTransferLab::cleanup()
{
    delete manager;
    manager = nullptr;
}

void TestTransferLab::queueOrderPauseAndResume()
{
    QVERIFY(lab.setFaults(rate(16000000)));
    Task *a = download("a.bin"), *b = download("b.bin"), *c = download("c.bin");
    QCOMPARE(QList<int>({a->status(), b->status(), c->status()}),
             QList<int>({Task::Running, Task::Queued, Task::Queued}));
    int bWhenADone = -1;
    connect(manager, &TaskManager::StateChanged, this, [&](Task *t) {
        if (t == a && t->status() == Task::Complete)
            bWhenADone = b->status();
    });
    QVERIFY(waitEnded(a));
    QCOMPARE(a->status(), int(Task::Complete));
    QCOMPARE(bWhenADone, int(Task::Running));

    // Paused mid-way: the count, the temporary file and the row agree.
    QVERIFY(waitBytes(b, kSize / 4));
    QVERIFY(b->pause());
    QCOMPARE(b->status(), int(Task::Paused));
    const qint64 pausedAt = b->bytesCompleted();
    QCOMPARE(PartFile::lengthOf(b->tempPath()), pausedAt);
    QCOMPARE(storedRow(0, b->idText()), QVariantList({pausedAt, kSize, 2, b->localPath()}));
    QTRY_COMPARE_WITH_TIMEOUT(c->status(), int(Task::Running), 1500);
    const TaskSummary sum = manager->summary(0);
    QCOMPARE(QList<qint64>({sum.count, sum.completedCount, sum.totalBytes}),
             QList<qint64>({3, 1, 3 * kSize}));
    QVERIFY(waitEnded(c));

    // Resumed with a range, appended to what is there.
    const int since = lab.requestLog().size();
    QVERIFY(lab.setFaults({}));
    b->queue();
    QVERIFY(waitEnded(b));
    QCOMPARE(b->status(), int(Task::Complete));
    QVERIFY(lab.requestsSince(since, {QString(" 206 %1").arg(kSize - pausedAt)}) > 0);
    for (Task *t : {a, b, c})
        QCOMPARE(readFile(t->localPath()), source);
    QCOMPARE(storedRow(0, b->idText()).value(2), QVariant(3));

    // Pausing all stops the running one and the queued ones; deleting keeps or drops rows.
    QVERIFY(lab.setFaults(rate(4000000)));
    Task *d = download("d.bin"), *e = download("e.bin");
    QVERIFY(waitBytes(d, 1));
    manager->pauseAll(0);
    QCOMPARE(QList<int>({d->status(), e->status()}), QList<int>({Task::Paused, Task::Paused}));
    const QString aId = a->idText(), dId = d->idText(), dTemp = d->tempPath();
    manager->deleteTask(a, true);
    manager->deleteTask(d, false);
    QCOMPARE(storedRow(0, aId).value(2), QVariant(3));
    QVERIFY(storedRow(0, dId).isEmpty());
    QVERIFY(!QFileInfo::exists(dTemp));
    QCOMPARE(manager->downloadList(), QList<Task *>({b, c, e}));
}

void TestTransferLab::endings_data()
{
    QTest::addColumn<QJsonObject>("set");
    QTest::addColumn<bool>("relay");
    QTest::addColumn<QByteArray>("part"); // in the temporary file before the start
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("first");
    const QByteArray stale(1000000, 'x'); // someone else's bytes: they must not stay in front
    QTest::newRow("cut, direct") << faults(kDev1, {{"drop_after_bytes", 3000000}}) << false
                                 << QByteArray() << kSize << int(Task::Failed);
    QTest::newRow("cut, relayed") << faults("relay", {{"drop_after_bytes", 3000000}}) << true
                                  << QByteArray() << kSize << int(Task::Failed);
    // The row says nothing arrived and the size is wrong; the file and the answer know better.
    QTest::newRow("resumed at the part's length, total from Content-Range")
        << QJsonObject() << false << source.left(100000) << 3 * kSize << int(Task::Complete);
    QTest::newRow("whole file to a range") << faults(kDev1, {{"ignore_range", true}}) << false
                                           << stale << kSize << int(Task::Complete);
    // Without a length the early end carries no error: the count against the size tells.
    QJsonObject both = faults(kDev1, {{"ignore_range", true}});
    both.insert("relay", QJsonObject{{"drop_after_bytes", 5000000}});
    QTest::newRow("whole file to a range, cut without error")
        << both << true << stale << kSize << int(Task::Failed);
    QTest::newRow("part longer than the file")
        << QJsonObject() << false << source + "more" << 2 * kSize << int(Task::Failed);
}

void TestTransferLab::endings()
{
    QFETCH(QJsonObject, set);
    QFETCH(bool, relay);
    QFETCH(QByteArray, part);
    QFETCH(qint64, total);
    QFETCH(int, first);
    current = labDevice(lab, kDev1, relay);
    QVERIFY(writeFile(dir->path() + "/f.bin.vbxdl", part));
    QVERIFY(lab.setFaults(set));
    Task *t = download("f.bin", total);
    QVERIFY(waitEnded(t));
    QCOMPARE(t->status(), first);
    if (first == Task::Failed) {
        // What is kept is the file's own start, counted and stored: a resume goes on from there.
        const qint64 got = t->bytesCompleted();
        QCOMPARE(readFile(t->tempPath()), source.left(int(got)));
        QCOMPARE(storedRow(0, t->idText()).mid(0, 3), QVariantList({got, t->bytesTotal(), 4}));
        QVERIFY(lab.setFaults({}));
        t->queue();
        QVERIFY(waitEnded(t));
        QCOMPARE(t->status(), int(Task::Complete));
    }
    QCOMPARE(t->bytesTotal(), kSize);
    QCOMPARE(sha256(t->localPath()), sha256(sourcePath));
    QVERIFY(!QFileInfo::exists(t->tempPath()));
}

void TestTransferLab::misplacedParts_data()
{
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<int>("status");
    QTest::newRow("in place") << QByteArray("bytes 1000-1009/1010") << int(Task::Complete);
    QTest::newRow("no range") << QByteArray() << int(Task::Failed);
    QTest::newRow("from elsewhere") << QByteArray("bytes 0-9/1010") << int(Task::Failed);
}

// A device that answers a resume with a part it does not place right: nothing is appended.
void TestTransferLab::misplacedParts()
{
    QFETCH(QByteArray, contentRange);
    QFETCH(int, status);
    QTcpServer device;
    QVERIFY(device.listen(QHostAddress::LocalHost));
    connect(&device, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *s = device.nextPendingConnection();
        connect(s, &QTcpSocket::readyRead, s, [s, contentRange] {
            if (!s->readAll().contains("\r\n\r\n"))
                return;
            s->write("HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\n" +
                     (contentRange.isEmpty() ? QByteArray()
                                             : "Content-Range: " + contentRange + "\r\n") +
                     "Connection: close\r\n\r\n0123456789");
            s->disconnectFromHost();
        });
    });
    current.intraip = QStringLiteral("127.0.0.1");
    current.http_port = device.serverPort();
    const QByteArray part(1000, 'p');
    QVERIFY(writeFile(dir->path() + "/m.bin.vbxdl", part));
    Task *t = manager->createTask(kDev1, Task::Download, "/media/sda1/m.bin",
                                  dir->path() + "/m.bin", 1010);
    QVERIFY(waitEnded(t));
    QCOMPARE(t->status(), status);
    QCOMPARE(readFile(status == Task::Complete ? t->localPath() : t->tempPath()),
             status == Task::Complete ? part + "0123456789" : part);
}

void TestTransferLab::renameClash()
{
    QVERIFY(lab.setFaults(rate(8000000)));
    Task *t = download("x.bin");
    QVERIFY(waitBytes(t, 1));
    QVERIFY(writeFile(dir->path() + "/x.bin", "mine"));
    QVERIFY(waitEnded(t));
    QCOMPARE(t->status(), int(Task::Complete));
    QCOMPARE(t->localPath(), dir->path() + "/x(1).bin");
    QCOMPARE(readFile(dir->path() + "/x.bin"), QByteArray("mine"));
    QCOMPARE(sha256(t->localPath()), sha256(sourcePath));
    QCOMPARE(storedRow(0, t->idText()).value(3), QVariant(t->localPath()));
}

void TestTransferLab::writeFailures_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("full disk") << true;
    QTest::newRow("folder removed") << false;
}

void TestTransferLab::writeFailures()
{
    QFETCH(bool, fullDisk);
    const QString folder = dir->path() + "/target";
    QVERIFY(QDir().mkpath(folder));
    bool mounted = false;
    rlimit oldLimit{};
    if (fullDisk) {
        // A small disk of its own where possible, else a file-size limit: writes fail the same.
        mounted = geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs",
                                            0, "size=3m") == 0;
        if (!mounted) {
            ::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &oldLimit);
            rlimit small = oldLimit;
            small.rlim_cur = 3 * 1024 * 1024;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
    } else {
        QVERIFY(lab.setFaults(rate(4000000)));
    }
    Task *t = manager->createTask(kDev1, Task::Download, kRemote, folder + "/w.bin", kSize);
    if (!fullDisk) {
        QVERIFY(waitBytes(t, 1000000));
        QVERIFY(QDir(folder).removeRecursively());
    }
    QVERIFY(waitEnded(t));
    const qint64 kept = PartFile::lengthOf(t->tempPath());
    if (mounted)
        ::umount(QFile::encodeName(folder).constData());
    else if (fullDisk)
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    QCOMPARE(t->status(), int(Task::Failed));
    QCOMPARE(storedRow(0, t->idText()).value(2), QVariant(4));
    QVERIFY(!QFileInfo::exists(t->localPath()));
    if (fullDisk) {
        // What did fit is kept and counted, for a resume once there is room.
        QVERIFY2(kept > 0 && kept < kSize, qPrintable(QString::number(kept)));
        QCOMPARE(t->bytesCompleted(), kept);
        QCOMPARE(storedRow(0, t->idText()).value(0), QVariant(kept));
    }
}

void TestTransferLab::uploadsOddNames()
{
    const QStringList names = {"it's \"quoted\".txt", "a&b=c.bin",          "#hash?.txt",
                               "  spaces  in .txt",   "中文 文件.dat",      "%41%2F.txt",
                               "😀 smile.bin",         "+plus;semi|pipe.txt"};
    const QString folder = lab.device(kDev1).value("root").toString() + "/sdb1/上传 目录";
    for (int i = 0; i < names.size(); ++i) {
        current = labDevice(lab, kDev1, i % 2 == 1);
        const QString local = dir->path() + '/' + names[i];
        const QByteArray content = pseudoRandom(300000 + i * 1000, quint32(i));
        QVERIFY(writeFile(local, content));
        Task *t = manager->createTask(kDev1, Task::Upload, "/media/sdb1/上传 目录", local, 0);
        qint64 most = 0;
        connect(t, &Task::UpdateProgress, this,
                [&most, t] { most = qMax(most, t->bytesCompleted()); });
        QVERIFY(waitEnded(t));
        QCOMPARE(t->status(), int(Task::Complete));
        QCOMPARE(readFile(folder + '/' + names[i]), content);
        QCOMPARE(t->bytesCompleted(), qint64(content.size()));
        QVERIFY(most <= content.size());
        QCOMPARE(storedRow(1, t->idText()).mid(0, 3),
                 QVariantList({qint64(content.size()), qint64(content.size()), 3}));
    }
}

void TestTransferLab::uploadFailures_data()
{
    QTest::addColumn<QJsonObject>("set");
    QTest::addColumn<bool>("relay");
    QTest::addColumn<QString>("folder");
    const QJsonObject cut{{"drop_after_bytes", 1000000}, {"only", QJsonArray{"mps"}}};
    QTest::newRow("cut, direct") << faults(kDev1, cut) << false << "/media/sdb1";
    QTest::newRow("cut, relayed") << faults(kDev1, cut) << true << "/media/sdb1";
    QTest::newRow("refused folder") << QJsonObject() << false << "/media/nowhere";
    QTest::newRow("device down") << faults(kDev1, {{"offline", true}}) << true << "/media/sdb1";
}

void TestTransferLab::uploadFailures()
{
    QFETCH(QJsonObject, set);
    QFETCH(bool, relay);
    QFETCH(QString, folder);
    current = labDevice(lab, kDev1, relay);
    const QString local = dir->path() + "/refused.bin";
    const QString landed = lab.device(kDev1).value("root").toString() + "/sdb1/refused.bin";
    QFile::remove(landed);
    QVERIFY(writeFile(local, pseudoRandom(4000000, 5)));
    QVERIFY(lab.setFaults(set));
    Task *t = manager->createTask(kDev1, Task::Upload, folder, local, 0);
    QVERIFY(waitEnded(t));
    QCOMPARE(t->status(), int(Task::Failed));
    QCOMPARE(storedRow(1, t->idText()).value(2), QVariant(4));
    QVERIFY(!QFileInfo::exists(landed));
}

void TestTransferLab::deviceSwitch()
{
    QVERIFY(lab.setFaults(rate(4000000)));
    Task *running = download("p.bin"), *waiting = download("q.bin");
    QVERIFY(waitBytes(running, 1));
    manager->pauseAll(0);
    const QString upLocal = dir->path() + "/up.bin";
    QVERIFY(writeFile(upLocal, pseudoRandom(2000000, 3)));
    Task *up = manager->createTask(kDev1, Task::Upload, "/media/sda1", upLocal, 0);
    QVERIFY(waitBytes(up, 1));
    manager->pauseAll(1);
    QCOMPARE(up->status(), int(Task::Paused));
    QVERIFY(lab.setFaults({}));
    Task *done = download("done.bin");
    QVERIFY(waitEnded(done));
    const QString runningId = running->idText(), waitingId = waiting->idText(), upId = up->idText(),
                  doneId = done->idText();
    const qint64 runningBytes = running->bytesCompleted();

    QSignalSpy reset(manager, &TaskManager::taskReset);
    current = labDevice(lab, kDev3, false);
    manager->OnCurrentDeviceChanged();
    QCOMPARE(reset.count(), 1);
    QVERIFY(manager->downloadList().isEmpty() && manager->uploadList().isEmpty());
    QCOMPARE(storedRow(0, runningId).value(0), QVariant(runningBytes));

    // Back: what is unfinished returns queued; what lost its local side is dropped.
    QVERIFY(QFile::remove(dir->path() + "/p.bin.vbxdl"));
    current = labDevice(lab, kDev1, false);
    manager->OnCurrentDeviceChanged();
    QCOMPARE(reset.count(), 2);
    QCOMPARE(manager->downloadList().size(), 1);
    QCOMPARE(manager->downloadList()[0]->idText(), waitingId);
    QVERIFY(manager->downloadList()[0]->status() != Task::Paused);
    QCOMPARE(manager->uploadList().size(), 1);
    QCOMPARE(manager->uploadList()[0]->idText(), upId);
    QVERIFY(storedRow(0, runningId).isEmpty());
    QCOMPARE(storedRow(0, doneId).value(2), QVariant(3));
    QVERIFY(QFile::remove(upLocal));
    current = labDevice(lab, kDev3, false);
    manager->OnCurrentDeviceChanged();
    current = labDevice(lab, kDev1, false);
    manager->OnCurrentDeviceChanged();
    QVERIFY(manager->uploadList().isEmpty());
    QVERIFY(storedRow(1, upId).isEmpty());
}

QTEST_GUILESS_MAIN(TestTransferLab)
#include "tst_transferlab.moc"
