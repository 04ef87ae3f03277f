#include "platform/appdirs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestAppDirs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void executableAndDirectories();
    void mediaPlayerOrder();
    void aria2PrefersApplicationDirectory();

private:
    QString makeTool(const QString &dir, const QString &name);

    QByteArray savedPath;
    QTemporaryDir scratch;
};

void TestAppDirs::initTestCase()
{
    savedPath = qgetenv("PATH");
    QVERIFY(scratch.isValid());
}

void TestAppDirs::cleanup()
{
    qputenv("PATH", savedPath);
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/aria2c"));
}

QString TestAppDirs::makeTool(const QString &dir, const QString &name)
{
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

void TestAppDirs::executableAndDirectories()
{
    QCOMPARE(executableFilePath(), QCoreApplication::applicationFilePath());
    QCOMPARE(applicationDirectory(), QCoreApplication::applicationDirPath());
    QCOMPARE(temporaryDirectory(), QDir::tempPath() + QLatin1Char('/'));
}

void TestAppDirs::mediaPlayerOrder()
{
    const QString early = scratch.path() + QStringLiteral("/early");
    const QString late = scratch.path() + QStringLiteral("/late");
    qputenv("PATH", QFile::encodeName(early + QLatin1Char(':') + late));
    QCOMPARE(mediaPlayerPath(), QString());

    const QString xdgOpen = makeTool(early, QStringLiteral("xdg-open"));
    QCOMPARE(mediaPlayerPath(), xdgOpen);
    // vlc wins over xdg-open whatever their order in PATH, and mpv over both.
    const QString vlc = makeTool(late, QStringLiteral("vlc"));
    QCOMPARE(mediaPlayerPath(), vlc);
    const QString mpv = makeTool(late, QStringLiteral("mpv"));
    QCOMPARE(mediaPlayerPath(), mpv);

    // A plain file that cannot be run is no player.
    QFile::setPermissions(mpv, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(mediaPlayerPath(), vlc);
}

void TestAppDirs::aria2PrefersApplicationDirectory()
{
    const QString local = QCoreApplication::applicationDirPath() + QStringLiteral("/aria2c");
    const QString tools = scratch.path() + QStringLiteral("/tools");
    qputenv("PATH", QFile::encodeName(tools));
    // Nothing anywhere: the application-directory path, which fails to start.
    QCOMPARE(aria2Path(), local);

    const QString inPath = makeTool(tools, QStringLiteral("aria2c"));
    QCOMPARE(aria2Path(), inPath);

    QVERIFY(!makeTool(QCoreApplication::applicationDirPath(), QStringLiteral("aria2c")).isEmpty());
    QCOMPARE(aria2Path(), local);
}

QTEST_GUILESS_MAIN(TestAppDirs)
#include "tst_appdirs.moc"
