#include "platform/crashhandler.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class TestCrashHandler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void reportNamesTheSignal_data();
    void reportNamesTheSignal();
    void plantedPathsAreNotFollowed_data();
    void plantedPathsAreNotFollowed();

private:
    QString reportDir() const { return QDir::tempPath() + QStringLiteral("/kelvora/"); }
};

// A real invalid write; the undefined-behaviour checker would stop it before the fault.
__attribute__((no_sanitize("undefined"))) void writeThroughNull()
{
    volatile int *volatile nowhere = nullptr;
    *nowhere = 1;
}

// The ways to crash, by the index the data rows name.
void (*const crashes[])() = {
    [] { raise(SIGSEGV); },   [] { abort(); },       writeThroughNull,
    [] { __builtin_trap(); }, [] { raise(SIGFPE); }, [] { raise(SIGBUS); },
};

void TestCrashHandler::init()
{
    QFile::remove(QDir::cleanPath(reportDir())); // a link left by a test
    QDir(reportDir()).removeRecursively();
}

void TestCrashHandler::reportNamesTheSignal_data()
{
    QTest::addColumn<int>("crash");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("raise SIGSEGV") << 0 << SIGSEGV << QByteArray("SIGSEGV");
    QTest::newRow("abort") << 1 << SIGABRT << QByteArray("SIGABRT");
    QTest::newRow("write through null") << 2 << SIGSEGV << QByteArray("SIGSEGV");
    QTest::newRow("trap") << 3 << SIGILL << QByteArray("SIGILL");
    QTest::newRow("raise SIGFPE") << 4 << SIGFPE << QByteArray("SIGFPE");
    QTest::newRow("raise SIGBUS") << 5 << SIGBUS << QByteArray("SIGBUS");
}

void TestCrashHandler::reportNamesTheSignal()
{
    QFETCH(int, crash);
    QFETCH(int, signal);
    QFETCH(QByteArray, name);

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        armCrashReports(reportDir(), QCoreApplication::applicationFilePath());
        crashes[crash]();
        _exit(0); // not reached when the handler re-raises
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    // The handler leaves the default action in place: the child dies of its signal.
    QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
    QCOMPARE(WTERMSIG(status), signal);

    const QStringList reports = QDir(reportDir()).entryList(QDir::Files);
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().startsWith(QStringLiteral("kelvora-crash-")),
             qPrintable(reports.first()));
    QVERIFY(reports.first().endsWith(QStringLiteral("-%1.txt").arg(child)));
    QFile file(reportDir() + reports.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray report = file.readAll();
    QVERIFY2(report.contains("signal: " + name + " (" + QByteArray::number(signal) + ")"),
             report.constData());
    QVERIFY(report.contains("product: Kelvora\n"));
    QVERIFY(report.contains("version: 0.0.1\n"));
    QVERIFY(report.contains("pid: " + QByteArray::number(child) + "\n"));
    QVERIFY(report.contains("executable: " +
                            QFile::encodeName(QCoreApplication::applicationFilePath())));
    const int trace = report.indexOf("backtrace:\n");
    QVERIFY(trace > 0);
    QVERIFY2(report.size() > trace + 20, report.constData()); // frames follow
}

// Another user who can write where the reports go plants links: a crash never writes through
// them, and a report folder that is a link or open to others is not used as it is.
void TestCrashHandler::plantedPathsAreNotFollowed_data()
{
    QTest::addColumn<QString>("plant");
    QTest::addColumn<int>("reports"); // written into the report folder
    QTest::newRow("links under the report names") << "names" << 1;
    QTest::newRow("the folder a link") << "folder link" << 0;
    QTest::newRow("the folder open to all") << "open folder" << 1;
}

void TestCrashHandler::plantedPathsAreNotFollowed()
{
    QFETCH(QString, plant);
    QFETCH(int, reports);
    const QString victim = QDir::tempPath() + QStringLiteral("/victim");
    const QString victimDir = QDir::tempPath() + QStringLiteral("/victim-folder");
    QFile::remove(victim);
    QVERIFY(QDir().mkpath(victimDir));
    QFile file(victim);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("precious");
    file.close();
    if (plant == "folder link") {
        QVERIFY(QFile::link(victimDir, QDir::cleanPath(reportDir())));
    } else {
        QVERIFY(QDir().mkpath(reportDir()));
        if (plant == "open folder")
            QVERIFY(::chmod(QFile::encodeName(reportDir()).constData(), 0777) == 0);
    }

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (plant == "names") {
            // Every name the report could get in the next seconds.
            for (long long t = ::time(nullptr); t < ::time(nullptr) + 3; ++t)
                QFile::link(victim,
                            reportDir() +
                                QStringLiteral("kelvora-crash-%1-%2.txt").arg(t).arg(::getpid()));
        }
        armCrashReports(reportDir(), QCoreApplication::applicationFilePath());
        raise(SIGSEGV);
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("precious"));
    QVERIFY(QDir(victimDir).isEmpty());
    if (plant == "folder link") {
        QVERIFY(QFileInfo(QDir::cleanPath(reportDir())).isSymLink());
        return;
    }
    QDir dir(reportDir());
    const QStringList written = dir.entryList(QDir::Files | QDir::NoSymLinks);
    QCOMPARE(written.size(), reports);
    QVERIFY(QFileInfo(dir.filePath(written.first())).size() > 0);
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(reportDir()).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), 0700);
}

QTEST_GUILESS_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
