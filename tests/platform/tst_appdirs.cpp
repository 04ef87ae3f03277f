#include "platform/appdirs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestAppDirs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void mediaPlayerOrder();
    void aria2PrefersApplicationDirectory();
    void privateFoldersAndFiles_data();
    void privateFoldersAndFiles();
    void crashReportsInTheUsersOwnFolder();

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

// What is found at the path beforehand, and what the call gives: the result, and the mode
// afterwards (-1: nothing may be there or changed).
void TestAppDirs::privateFoldersAndFiles_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("found");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("mode");
    for (const bool folder : {true, false}) {
        const int own = folder ? 0700 : 0600;
        const char *kind = folder ? "folder: " : "file: ";
        QTest::addRow("%snothing", kind) << folder << "nothing" << true << own;
        QTest::addRow("%sopen to all", kind) << folder << "0777" << true << own;
        QTest::addRow("%sread by the group", kind) << folder << "0750" << true << own;
        QTest::addRow("%salready private", kind) << folder << "private" << true << own;
        QTest::addRow("%sa link", kind) << folder << "link" << false << -1;
        QTest::addRow("%sthe other kind", kind) << folder << "other kind" << false << -1;
        QTest::addRow("%ssomeone else's", kind) << folder << "foreign" << false << -1;
    }
    QTest::newRow("folder: missing parents") << true << "no parent" << true << 0700;
}

void TestAppDirs::privateFoldersAndFiles()
{
    QFETCH(bool, folder);
    QFETCH(QString, found);
    QFETCH(bool, result);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString path = dir.filePath(found == "no parent" ? "a/b/c" : "x");
    const QString target = dir.filePath("target"); // where a planted link leads
    QVERIFY(folder ? QDir().mkdir(target) : QFile(target).open(QIODevice::WriteOnly));
    ::chmod(QFile::encodeName(target).constData(), 0644);
    const auto make = [&](bool asFolder, int permissions) {
        QVERIFY(asFolder ? QDir().mkdir(path) : QFile(path).open(QIODevice::WriteOnly));
        ::chmod(QFile::encodeName(path).constData(), mode_t(permissions));
    };
    if (found == "0777" || found == "0750" || found == "private")
        make(folder, found == "private" ? (folder ? 0700 : 0600) : found.toInt(nullptr, 8));
    else if (found == "other kind")
        make(!folder, 0755);
    else if (found == "link")
        QVERIFY(QFile::link(target, path));
    else if (found == "foreign") {
        if (geteuid() != 0)
            QSKIP("handing a path to another user takes root");
        make(folder, 0777);
        QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    }

    QCOMPARE(folder ? ensurePrivateDirectory(path, true) : ensurePrivateFile(path), result);
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), 0644); // a link's target is never touched
    if (mode < 0)
        return;
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), mode);
    QCOMPARE(bool(S_ISDIR(info.st_mode)), folder);
    if (found == "no parent") {
        QCOMPARE(::lstat(QFile::encodeName(dir.filePath("a")).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), 0700);
    }
}

void TestAppDirs::crashReportsInTheUsersOwnFolder()
{
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qunsetenv("XDG_STATE_HOME");
    QCOMPARE(crashReportDirectory(),
             QDir::homePath() + QStringLiteral("/.local/state/kelvora/crash/"));
    qputenv("XDG_STATE_HOME", "/state/");
    QCOMPARE(crashReportDirectory(), QStringLiteral("/state/kelvora/crash/"));
    qputenv("XDG_STATE_HOME", "relative");
    QCOMPARE(crashReportDirectory(),
             QDir::homePath() + QStringLiteral("/.local/state/kelvora/crash/"));
    qputenv("XDG_STATE_HOME", saved);
}

QTEST_GUILESS_MAIN(TestAppDirs)
#include "tst_appdirs.moc"
