#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

const int guard = 60000; // only a safety net against a hang, never a measured time

class Probe
{
public:
    explicit Probe(const QStringList &arguments = {})
    {
        process.setProgram(QStringLiteral(PROBE_PATH));
        process.setArguments(arguments);
        process.start();
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
        for (;;) {
            buffer += process.readAllStandardOutput();
            const int end = buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = buffer.left(end);
                buffer.remove(0, end + 1);
                return line;
            }
            if (process.state() == QProcess::NotRunning || !process.waitForReadyRead(guard)) {
                buffer += process.readAllStandardOutput();
                if (buffer.indexOf('\n') < 0)
                    return QByteArray();
            }
        }
    }

    bool finish()
    {
        return process.state() == QProcess::NotRunning || process.waitForFinished(guard);
    }

    // Ends a first instance the normal way.
    void quit() { process.closeWriteChannel(); }

    QProcess process;
    QByteArray buffer;
};

QString keyFile()
{
    const QStringList files =
        QDir::temp().entryList({QStringLiteral("qipc_sharedmemory_qmkelvoraclient*")}, QDir::Files);
    return files.isEmpty() ? QString() : QDir::temp().filePath(files.first());
}

int segmentId()
{
    const QString file = keyFile();
    if (file.isEmpty())
        return -1;
    const key_t key = ftok(QFile::encodeName(file).constData(), 'Q');
    return key == -1 ? -1 : shmget(key, 0, 0);
}

int attachCount(int id)
{
    struct shmid_ds info;
    return shmctl(id, IPC_STAT, &info) == 0 ? int(info.shm_nattch) : -1;
}

QString socketFile()
{
    return QDir::temp().filePath(QStringLiteral("qm-kelvora-client"));
}

// A further start finds the first instance, pokes it and ends with 0.
void pokeFrom(Probe &first)
{
    Probe second;
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finish());
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(first.nextLine(), QByteArray("poked"));
}

// Ends a first instance the normal way; its segment is gone afterwards.
void quitFirst(Probe &first)
{
    first.quit();
    QCOMPARE(first.nextLine(), QByteArray("released"));
    QVERIFY(first.finish());
    QCOMPARE(first.process.exitCode(), 0);
    QVERIFY(keyFile().isEmpty());
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondStartPokesFirstAndQuitsLater();
    void unreachableFirstMakesSecondQuitAtOnce();
    void startAfterKillBecomesFirst();
    void simultaneousStartsHaveOneFirst();
};

void TestSingleInstance::secondStartPokesFirstAndQuitsLater()
{
    Probe first;
    QCOMPARE(first.nextLine(), QByteArray("first"));
    QVERIFY(QFile::exists(socketFile()));

    QElapsedTimer clock;
    clock.start();
    Probe second;
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finish());
    // It lingers for its one second after the poke (coarse timers may fire 5 % early).
    QVERIFY2(clock.elapsed() >= 950, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(first.nextLine(), QByteArray("poked"));

    // A second poke works as well: every connection is served.
    pokeFrom(first);
    if (QTest::currentTestFailed())
        return;
    quitFirst(first);
    QVERIFY(!QFile::exists(socketFile()));
}

void TestSingleInstance::unreachableFirstMakesSecondQuitAtOnce()
{
    Probe first({QStringLiteral("--no-server")});
    QCOMPARE(first.nextLine(), QByteArray("first"));

    Probe second;
    QCOMPARE(second.nextLine(), QByteArray("second"));
    QVERIFY(second.finish());
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
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
    QVERIFY(killed->finish());
    killed.reset();
    // What a killed instance leaves behind on Unix.
    QCOMPARE(attachCount(staleId), 0);
    QVERIFY(QFile::exists(socketFile()));

    Probe next;
    QCOMPARE(next.nextLine(), QByteArray("first"));
    QCOMPARE(attachCount(staleId), -1); // the stale segment is gone
    const int id = segmentId();
    QVERIFY(id >= 0);
    QCOMPARE(attachCount(id), 1);

    // Its server took over the socket name.
    pokeFrom(next);
    if (QTest::currentTestFailed())
        return;
    quitFirst(next);
    QCOMPARE(attachCount(id), -1);
}

void TestSingleInstance::simultaneousStartsHaveOneFirst()
{
    for (int round = 0; round < 6; ++round) {
        // Every other round starts over the remains of a killed instance.
        const bool overStale = round % 2 == 1;
        if (overStale) {
            Probe killed;
            QCOMPARE(killed.nextLine(), QByteArray("first"));
            killed.process.kill();
            QVERIFY(killed.finish());
        }
        std::unique_ptr<Probe> a = std::make_unique<Probe>();
        std::unique_ptr<Probe> b = std::make_unique<Probe>();
        const QByteArray roleA = a->nextLine();
        const QByteArray roleB = b->nextLine();
        QVERIFY2((roleA == "first") != (roleB == "first"),
                 qPrintable(QStringLiteral("round %1: %2 / %3")
                                .arg(round)
                                .arg(QString::fromLatin1(roleA), QString::fromLatin1(roleB))));
        Probe &winner = roleA == "first" ? *a : *b;
        Probe &loser = roleA == "first" ? *b : *a;
        QCOMPARE(loser.nextLine(), QByteArray()); // says nothing more and ends
        QVERIFY(loser.finish());
        QCOMPARE(loser.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(loser.process.exitCode(), 0);
        winner.quit();
        const QByteArray rest = winner.nextLine();
        // The loser may have reached the server before it quit, or not.
        QVERIFY(rest == "released" || (rest == "poked" && winner.nextLine() == "released"));
        QVERIFY(winner.finish());
        QCOMPARE(winner.process.exitCode(), 0);
        QVERIFY(keyFile().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
