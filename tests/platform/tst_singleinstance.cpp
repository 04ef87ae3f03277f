// Single instance with real processes: the probe (the program's start-up steps without the main
// window), then the program itself: its crash report, and a start with a home directory that
// cannot be written, followed by a second start that ends. Other users of the machine cannot
// keep it from starting.
#include "platform/appdirs.h"
#include "platform/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QSharedMemory>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

const int guard = 60000; // only a safety net against a hang, never a measured time

class Probe
{
public:
    // The probe, or the program itself in the given environment.
    explicit Probe(const QStringList &arguments = {}, bool program = false,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(env);
        process.start(program ? qEnvironmentVariable("KELVORA_BIN_DIR") + QStringLiteral("/kelvora")
                              : QStringLiteral(PROBE_PATH),
                      arguments);
    }
    ~Probe()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(guard);
        }
    }

    // The next line of standard output, or empty when the process ended without one.
    QByteArray nextLine()
    {
        while (!process.canReadLine() && process.state() != QProcess::NotRunning &&
               process.waitForReadyRead(guard)) {
        }
        return process.readLine().trimmed();
    }

    // Ended normally with exit code 0.
    bool finish()
    {
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(guard))
            return false;
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // Ends a first instance the normal way.
    void quit() { process.closeWriteChannel(); }

    QProcess process;
};

QString keyFile()
{
    const QString file = singleInstanceName() + QStringLiteral(".key");
    return QFile::exists(file) ? file : QString();
}

int segmentId()
{
    const QString file = keyFile();
    const key_t key = file.isEmpty() ? -1 : ftok(QFile::encodeName(file).constData(), 'Q');
    return key == -1 ? -1 : shmget(key, 0, 0);
}

int attachCount(int id)
{
    struct shmid_ds info;
    return id >= 0 && shmctl(id, IPC_STAT, &info) == 0 ? int(info.shm_nattch) : -1;
}

QString socketFile()
{
    return singleInstanceName();
}

// A further start finds the first instance, pokes it and ends with 0 by its timer after the
// poke: no complaint that the first instance was unreachable.
void pokeFrom(Probe &first)
{
    Probe second;
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finish());
    const QByteArray errors = second.process.readAllStandardError();
    QVERIFY2(!errors.contains("unreachable"), errors.constData());
    QCOMPARE(first.nextLine(), QByteArray("poked"));
}

// Ends a first instance the normal way; its segment is gone afterwards.
void quitFirst(Probe &first)
{
    first.quit();
    QCOMPARE(first.nextLine(), QByteArray("released"));
    QVERIFY(first.finish());
    QVERIFY(keyFile().isEmpty());
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void unreachableFirstMakesSecondQuitAtOnce();
    void startAfterKillBecomesFirst();
    void simultaneousStartsHaveOneFirst();
    void programCrashWritesReport();
    void terminationSignalShutsDownCleanly_data();
    void terminationSignalShutsDownCleanly();
    void unwritableHomeDoesNotStopTheStart();
    void otherUsersCannotStopTheStart_data();
    void otherUsersCannotStopTheStart();
    void privateFolderChoice();

private:
    // Waits until the program holds the segment; returns the segment's id.
    int waitForFirst(QProcess *process);

    QList<int> segments; // of the program: a killed one leaves its segment behind
};

void TestSingleInstance::cleanup()
{
    for (int id : qAsConst(segments))
        if (attachCount(id) == 0)
            shmctl(id, IPC_RMID, nullptr);
    segments.clear();
}

void TestSingleInstance::unreachableFirstMakesSecondQuitAtOnce()
{
    Probe first({QStringLiteral("--no-server")});
    QCOMPARE(first.nextLine(), QByteArray("first"));

    Probe second;
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finish());
    const QByteArray errors = second.process.readAllStandardError();
    QVERIFY2(errors.contains("first instance unreachable: "), errors.constData());
    // Quit on the socket error, not by the fallback timer.
    QVERIFY2(!errors.contains("timeout"), errors.constData());

    // The first instance keeps its segment: the failed poke did not take it over.
    QCOMPARE(attachCount(segmentId()), 1);
    quitFirst(first);
}

void TestSingleInstance::startAfterKillBecomesFirst()
{
    auto killed = std::make_unique<Probe>();
    QCOMPARE(killed->nextLine(), QByteArray("first"));
    const int staleId = segmentId();
    QVERIFY(staleId >= 0);
    killed->process.kill();
    QVERIFY(killed->process.waitForFinished(guard));
    killed.reset();
    // What a killed instance leaves behind on Unix.
    QCOMPARE(attachCount(staleId), 0);
    QVERIFY(QFile::exists(socketFile()));

    Probe next;
    QCOMPARE(next.nextLine(), QByteArray("first"));
    QCOMPARE(attachCount(staleId), -1); // the stale segment is gone
    const int id = segmentId();
    QCOMPARE(attachCount(id), 1);

    // Its server took over the socket name and serves every connection, twice here.
    for (int i = 0; i < 2 && !QTest::currentTestFailed(); ++i)
        pokeFrom(next);
    if (QTest::currentTestFailed())
        return;
    quitFirst(next);
    QCOMPARE(attachCount(id), -1);
    QVERIFY(!QFile::exists(socketFile()));
}

void TestSingleInstance::simultaneousStartsHaveOneFirst()
{
    for (int round = 0; round < 6; ++round) {
        // Every other round starts over the remains of a killed instance.
        if (round % 2 == 1) {
            Probe killed;
            QCOMPARE(killed.nextLine(), QByteArray("first"));
            killed.process.kill();
            QVERIFY(killed.process.waitForFinished(guard));
        }
        Probe a, b;
        const QByteArray roleA = a.nextLine();
        const QByteArray roleB = b.nextLine();
        QVERIFY2((roleA == "first") != (roleB == "first"),
                 qPrintable(QStringLiteral("round %1: %2 / %3")
                                .arg(round)
                                .arg(QString::fromLatin1(roleA), QString::fromLatin1(roleB))));
        Probe &winner = roleA == "first" ? a : b;
        Probe &loser = roleA == "first" ? b : a;
        QCOMPARE(loser.nextLine(), QByteArray()); // says nothing more and ends
        QVERIFY(loser.finish());
        winner.quit();
        const QByteArray rest = winner.nextLine();
        // The loser may have reached the server before it quit, or not.
        QVERIFY(rest == "released" || (rest == "poked" && winner.nextLine() == "released"));
        QVERIFY(winner.finish());
        QVERIFY(keyFile().isEmpty());
    }
}

int TestSingleInstance::waitForFirst(QProcess *process)
{
    // Polled closely: what comes right after the segment appears is the window where a signal
    // must already find the program's handler.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < guard && process->state() != QProcess::NotRunning) {
        const int id = segmentId();
        if (attachCount(id) >= 1) {
            segments.append(id);
            return id;
        }
        process->waitForFinished(1);
    }
    return -1;
}

void TestSingleInstance::programCrashWritesReport()
{
    const QString reports = crashReportDirectory();
    QDir(reports).removeRecursively();
    Probe first({}, true);
    QVERIFY(waitForFirst(&first.process) >= 0);
    QVERIFY(QDir(reports).exists()); // created before anything else

    const qint64 pid = first.process.processId();
    ::kill(pid_t(pid), SIGSEGV);
    QVERIFY(first.process.waitForFinished(guard));
    QCOMPARE(first.process.exitStatus(), QProcess::CrashExit);

    // The report's form is the crash handler's own test; here: the program armed it.
    const QStringList files = QDir(reports).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile file(reports + files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray report = file.readAll();
    QVERIFY2(report.contains("signal: SIGSEGV (11)\n"), report.constData());
    QVERIFY(report.contains("pid: " + QByteArray::number(pid) + "\n"));
    QVERIFY(report.contains(
        "executable: " + QFile::encodeName(QFileInfo(first.process.program()).canonicalFilePath()) +
        "\n"));
}

void TestSingleInstance::terminationSignalShutsDownCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestSingleInstance::terminationSignalShutsDownCleanly()
{
    QFETCH(int, signal);
    Probe first({}, true);
    const int id = waitForFirst(&first.process);
    QVERIFY(id >= 0);
    ::kill(pid_t(first.process.processId()), signal);
    QVERIFY2(first.finish(), first.process.readAllStandardError().constData());
    // The normal shutdown ran: nothing is left for the next start to recover.
    QCOMPARE(attachCount(id), -1);
    QVERIFY(keyFile().isEmpty());
    QVERIFY(!QFile::exists(socketFile()));
}

void TestSingleInstance::unwritableHomeDoesNotStopTheStart()
{
    // Below a plain file nothing can be created, not even by root.
    const QString blocker = QDir::tempPath() + QStringLiteral("/not-a-folder");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), blocker + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), blocker + QStringLiteral("/home/.config"));

    Probe first({}, true, env);
    QVERIFY2(waitForFirst(&first.process) >= 0, first.process.readAllStandardError().constData());
    Probe second({}, true, env);
    QVERIFY(second.finish());
    // Still running: a process that has ended is reaped here and fails the check.
    QVERIFY2(first.process.state() != QProcess::NotRunning && !first.process.waitForFinished(100),
             first.process.readAllStandardError().constData());
}

void TestSingleInstance::otherUsersCannotStopTheStart_data()
{
    QTest::addColumn<QString>("plant");
    QTest::newRow("the shared names held") << "shared names";
    QTest::newRow("a segment of another user's under the key") << "foreign segment";
    QTest::newRow("a link in place of the private folder") << "link";
}

void TestSingleInstance::otherUsersCannotStopTheStart()
{
    QFETCH(QString, plant);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // What another user could hold in the shared temporary folder: the fixed names.
    QSharedMemory sharedSegment(QStringLiteral("qm-kelvora-client"));
    QLocalServer sharedServer;
    QLockFile sharedLock(QDir::temp().filePath(QStringLiteral("qm-kelvora-client.lock")));
    int foreignId = -1;
    void *foreignAt = nullptr;
    const QString elsewhere = QDir::tempPath() + QStringLiteral("/elsewhere");
    if (plant == "shared names") {
        QVERIFY(sharedSegment.create(1));
        QVERIFY(sharedServer.listen(QDir::temp().filePath(QStringLiteral("qm-kelvora-client"))));
        QVERIFY(sharedLock.tryLock(0));
    } else if (plant == "foreign segment") {
        // Someone who guessed the key: a live segment under it, owned by another user.
        QFile key(singleInstanceName() + QStringLiteral(".key"));
        QVERIFY(key.open(QIODevice::WriteOnly));
        key.close();
        foreignId = shmget(ftok(QFile::encodeName(key.fileName()).constData(), 'Q'), 1,
                           IPC_CREAT | IPC_EXCL | 0600);
        QVERIFY(foreignId >= 0);
        foreignAt = shmat(foreignId, nullptr, 0);
        struct shmid_ds info;
        QVERIFY(shmctl(foreignId, IPC_STAT, &info) == 0);
        info.shm_perm.uid = 65534;
        QVERIFY(shmctl(foreignId, IPC_SET, &info) == 0);
    } else {
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere,
                            QDir::tempPath() + QStringLiteral("/kelvora-%1").arg(geteuid())));
    }

    Probe first({}, false, env);
    QCOMPARE(first.nextLine(), QByteArray("first"));
    Probe second({}, false, env);
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finish());
    QCOMPARE(first.nextLine(), QByteArray("poked"));
    first.quit();
    QCOMPARE(first.nextLine(), QByteArray("released"));
    QVERIFY(first.finish());
    if (plant == "link") {
        QVERIFY(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System));
        QVERIFY(QDir(QDir::homePath() + QStringLiteral("/.cache/kelvora-run")).exists());
        QFile::remove(QDir::tempPath() + QStringLiteral("/kelvora-%1").arg(geteuid()));
    }
    if (foreignId >= 0) {
        QCOMPARE(attachCount(foreignId), 1); // left alone
        shmdt(foreignAt);
        shmctl(foreignId, IPC_RMID, nullptr);
    }
}

void TestSingleInstance::privateFolderChoice()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QCOMPARE(singleInstanceDirectory(), QDir::cleanPath(QString::fromLocal8Bit(saved)));
    QCOMPARE(singleInstanceName(),
             singleInstanceDirectory() + QStringLiteral("/qm-kelvora-client"));
    // A runtime folder others may enter is not used (nor changed); nor is no runtime folder.
    const QString open = QDir::tempPath() + QStringLiteral("/open-runtime");
    QVERIFY(QDir().mkpath(open));
    QFile::setPermissions(open, QFileDevice::Permissions(0x7755));
    const QString shared = QDir::tempPath() + QStringLiteral("/kelvora-%1").arg(geteuid());
    for (const QByteArray &runtime : {QFile::encodeName(open), QByteArray("relative/run")}) {
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(singleInstanceDirectory(), shared);
        QCOMPARE(QFileInfo(shared).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    }
    QCOMPARE(QFileInfo(open).permissions() & 0x0777, QFileDevice::Permissions(0x0755));
    // One left wider by someone's umask is tightened.
    QFile::setPermissions(shared, QFileDevice::Permissions(0x7777));
    QCOMPARE(singleInstanceDirectory(), shared);
    QCOMPARE(QFileInfo(shared).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    qputenv("XDG_RUNTIME_DIR", saved);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
