// Programs started to outlive the client: arguments arrive as given, without a shell; a quick
// failure is reported, a clean end is not; the program has a session of its own and lives on
// when the object that started it goes.
#include "platform/detachedprocess.h"

#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class TestDetachedProcess : public QObject
{
    Q_OBJECT

private slots:
    void argumentsArriveAsGiven();
    void howItEnds_data();
    void howItEnds();
    void outlivesItsStarter();

private:
    QString script(const QString &name, const QByteArray &body)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }

    QTemporaryDir dir;
};

void TestDetachedProcess::argumentsArriveAsGiven()
{
    const QString log = dir.filePath("args");
    const QStringList arguments = {"a b", "it's \"q\"", ";$(touch pwned) `id` & | >", "", "-v"};
    QDir::setCurrent(dir.path());
    auto *process = DetachedProcess::start(
        script("record", "printf '%s\\0' \"$@\" > \"" + QFile::encodeName(log) + "\""), arguments,
        this);
    QVERIFY(process);
    QVERIFY(QSignalSpy(process, &DetachedProcess::finished).wait(10000));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList got;
    for (const QByteArray &argument : file.readAll().split('\0'))
        got << QString::fromUtf8(argument);
    QCOMPARE(got, arguments + QStringList{""}); // after the last terminator
    QVERIFY(!QFileInfo::exists(dir.filePath("pwned")));
}

void TestDetachedProcess::howItEnds_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("reported");
    QTest::newRow("clean") << QByteArray("exit 0") << false;
    QTest::newRow("status 3") << QByteArray("exit 3") << true;
    QTest::newRow("killed") << QByteArray("kill -9 $$") << true;
    QTest::newRow("after a moment") << QByteArray("sleep 0.5; exit 2") << true;
    QTest::newRow("missing") << QByteArray() << true;
}

void TestDetachedProcess::howItEnds()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, reported);
    QString error;
    DetachedProcess *process = DetachedProcess::start(
        body.isEmpty() ? dir.filePath("none") : script(QTest::currentDataTag(), body), {}, this,
        &error);
    if (body.isEmpty()) {
        QVERIFY(!process && !error.isEmpty());
        return;
    }
    QVERIFY(process);
    QSignalSpy finished(process, &DetachedProcess::finished);
    QSignalSpy failed(process, &DetachedProcess::failedEarly);
    QVERIFY(finished.wait(10000));
    QCOMPARE(failed.count(), reported ? 1 : 0);
    // Collected: nothing of it is left, not even a zombie.
    QCOMPARE(::waitpid(pid_t(process->processId()), nullptr, WNOHANG), -1);
}

void TestDetachedProcess::outlivesItsStarter()
{
    auto *process = DetachedProcess::start("/bin/sleep", {"30"}, nullptr);
    QVERIFY(process);
    const pid_t pid = pid_t(process->processId());
    QCOMPARE(::getsid(pid), pid);
    QVERIFY(::getpgid(pid) != ::getpgid(0));
    delete process;
    QTest::qWait(300);
    QCOMPARE(::kill(pid, 0), 0);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, WNOHANG), 0);
    ::kill(pid, SIGTERM);
    QCOMPARE(::waitpid(pid, &status, 0), pid);
}

QTEST_GUILESS_MAIN(TestDetachedProcess)
#include "tst_detachedprocess.moc"
