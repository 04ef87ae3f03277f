// A download outlives the process that runs it: the process is killed (SIGKILL) at several
// points, once with the unsynced end of its file lost as after a power cut, and terminated
// (SIGTERM) once; each time a new process resumes from the database and the temporary file. The
// result is the device's file, byte for byte, and the database is intact.
#include "store/database.h"
#include "tests/transfer/transferlabtest.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QtTest>

class TestTransferKill : public QObject
{
    Q_OBJECT

private slots:
    void killedAndResumed();
};

void TestTransferKill::killedAndResumed()
{
    LabProcess lab;
    QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
    const qint64 size = 16 * 1024 * 1024;
    const QString remote = "/media/sda1/kill test.bin";
    const QString source = lab.device(kDev1).value("root").toString() + "/sda1/kill test.bin";
    QVERIFY(writeFile(source, pseudoRandom(size, 11)));
    QTemporaryDir dir;
    const QString local = dir.path() + "/下载 'k'.bin";
    const QString temp = local + ".vbxdl";
    const DeviceRecord d = labDevice(lab, kDev1, false);
    const QStringList device = {"--id",        d.deviceid,
                                "--host",      d.intraip,
                                "--mps-port",  QString::number(d.mps_port),
                                "--http-port", QString::number(d.http_port)};
    QVERIFY(lab.setFaults({{kDev1, QJsonObject{{"rate_limit_bytes_per_s", 8000000}}}}));

    QProcess driver;
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments = QStringList{"download", remote, local, QString::number(size)};
    // 0: right after the first row was stored; later cuts mid-stream.
    for (const qint64 cut : {0ll, 1ll << 20, 5ll << 20, 11ll << 20}) {
        driver.start(TRANSFER_DRIVER, arguments + device);
        QVERIFY(driver.waitForStarted());
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += driver.readAllStandardOutput();
                return out.contains("state 1 ") && qMax<qint64>(0, QFileInfo(temp).size()) >= cut;
            },
            60000));
        if (cut == 1ll << 20) {
            // Terminated, not killed: it ends normally and stores where it got.
            driver.terminate();
            QVERIFY(driver.waitForFinished());
            QCOMPARE(driver.exitStatus(), QProcess::NormalExit);
            InitDatabase();
            QSqlQuery row("SELECT bytes_completed FROM download");
            QVERIFY(row.next());
            QCOMPARE(row.value(0).toLongLong(), QFileInfo(temp).size());
        } else {
            driver.kill();
            QVERIFY(driver.waitForFinished());
        }
        if (cut == 5ll << 20) {
            // What the disk had not yet written is gone, behind the count stored last.
            QFile part(temp);
            QVERIFY(part.resize((1 << 20) - 1000));
        }
        arguments = QStringList{"resume"};
    }
    QVERIFY(lab.setFaults({}));
    driver.start(TRANSFER_DRIVER, arguments + device);
    QVERIFY(driver.waitForFinished(120000));
    QVERIFY2(driver.readAllStandardOutput().contains("done 3 "), "the resumed download ended");
    QCOMPARE(driver.exitCode(), 0);
    QCOMPARE(sha256(local), sha256(source));
    QVERIFY(!QFileInfo::exists(temp));

    InitDatabase();
    QSqlQuery check;
    QVERIFY(check.exec("PRAGMA integrity_check") && check.next());
    QCOMPARE(check.value(0).toString(), "ok");
    QVERIFY(check.exec("SELECT bytes_completed, bytes_total, status FROM download") &&
            check.next());
    QCOMPARE(QVariantList({check.value(0), check.value(1), check.value(2)}),
             QVariantList({size, size, 3}));
    QVERIFY(!check.next());
}

QTEST_GUILESS_MAIN(TestTransferKill)
#include "tst_transferkill.moc"
