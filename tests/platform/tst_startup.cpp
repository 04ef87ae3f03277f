// The program itself: its crash calls, and a start with a home directory that cannot be
// written, followed by a second start that ends.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

const int guard = 60000; // only a safety net against a hang, never a measured time

int segmentId()
{
    const QStringList files =
        QDir::temp().entryList({QStringLiteral("qipc_sharedmemory_qmkelvoraclient*")}, QDir::Files);
    if (files.isEmpty())
        return -1;
    const key_t key =
        ftok(QFile::encodeName(QDir::temp().filePath(files.first())).constData(), 'Q');
    return key == -1 ? -1 : shmget(key, 0, 0);
}

// Still running: a process that has ended is reaped here and reports false.
bool alive(QProcess *process)
{
    return process->state() != QProcess::NotRunning && !process->waitForFinished(100);
}

int attachCount(int id)
{
    struct shmid_ds info;
    return id >= 0 && shmctl(id, IPC_STAT, &info) == 0 ? int(info.shm_nattch) : -1;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void crashWritesReport();
    void unwritableHomeDoesNotStopTheStart();

private:
    std::unique_ptr<QProcess>
    start(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    // Waits until a program holds the segment; returns the segment's id.
    int waitForFirst(QProcess *process);

    QList<int> segments;
};

std::unique_ptr<QProcess> TestStartup::start(const QProcessEnvironment &env)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setProgram(qEnvironmentVariable("KELVORA_BIN_DIR") + QStringLiteral("/kelvora"));
    process->start();
    process->waitForStarted(guard);
    return process;
}

int TestStartup::waitForFirst(QProcess *process)
{
    for (int waited = 0; waited < guard; waited += 20) {
        const int id = segmentId();
        if (id >= 0 && attachCount(id) >= 1) {
            segments.append(id);
            return id;
        }
        if (process->state() == QProcess::NotRunning)
            return -1;
        QThread::msleep(20);
    }
    return -1;
}

void TestStartup::cleanup()
{
    // A killed program leaves its segment behind; the system keeps it until removed.
    for (int id : qAsConst(segments))
        if (attachCount(id) == 0)
            shmctl(id, IPC_RMID, nullptr);
    segments.clear();
}

void TestStartup::crashWritesReport()
{
    const QString reports = QDir::tempPath() + QStringLiteral("/kelvora/");
    QDir(reports).removeRecursively();
    auto first = start();
    QVERIFY(waitForFirst(first.get()) >= 0);
    QVERIFY(QDir(reports).exists()); // created before anything else

    const qint64 pid = first->processId();
    ::kill(pid_t(pid), SIGSEGV);
    QVERIFY(first->waitForFinished(guard));
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);

    const QStringList files = QDir(reports).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("kelvora-crash-")));
    QFile file(reports + files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray report = file.readAll();
    QVERIFY2(report.contains("signal: SIGSEGV (11)\n"), report.constData());
    QVERIFY(report.contains("product: Kelvora\n"));
    QVERIFY(report.contains("version: 0.0.1\n"));
    QVERIFY(report.contains("pid: " + QByteArray::number(pid) + "\n"));
    QVERIFY(report.contains(
        "executable: " + QFile::encodeName(QFileInfo(first->program()).canonicalFilePath()) +
        "\n"));
    QVERIFY(report.contains("backtrace:\n"));
}

void TestStartup::unwritableHomeDoesNotStopTheStart()
{
    // Below a plain file nothing can be created, not even by root.
    const QString blocker = QDir::tempPath() + QStringLiteral("/not-a-folder");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), blocker + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), blocker + QStringLiteral("/home/.config"));

    auto first = start(env);
    const int segment = waitForFirst(first.get());
    QVERIFY2(segment >= 0, first->readAllStandardError().constData());
    auto second = start(env);
    QVERIFY(second->waitForFinished(guard));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(alive(first.get()), first->readAllStandardError().constData());
    first->kill();
    first->waitForFinished(guard);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
