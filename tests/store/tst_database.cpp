// The database functions on a fresh temporary home per test.
#include "store/database.h"
#include "store/passwordcipher.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QStringList column(const QString &sql)
{
    QStringList values;
    QSqlQuery q;
    if (!q.exec(sql))
        return {QStringLiteral("<query failed>")};
    while (q.next())
        values << q.value(0).toString();
    return values;
}

int count(const QString &table)
{
    const QStringList v = column(QStringLiteral("select count(*) from %1").arg(table));
    return v.value(0).toInt();
}

const QString tricky = QString::fromUtf8("它's \"引号\" %1 %2 100% ''; DROP TABLE upload; --");

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void createsDirectoryFileAndSchema();
    void reopeningKeepsRows();
    void unopenableFileRunsWithoutState();

    void loginRoundTrip_data();
    void loginRoundTrip();
    void loginStoredEnciphered();
    void sameNameReplaces();
    void newestLoginWins();
    void emptyHistory();
    void unreadableStoredPassword();
    void loginFailureLogged();

    void addTaskBothKinds();
    void addTaskKeepsPathsVerbatim();
    void addTaskUnknownKind();
    void deleteTaskByKind();
    void updateTask();
    void loadTasks();
    void recentFiles();
    void clearRecentFiles();
    void taskFailuresLogged();

    void savePath();
    void savePathFailuresLogged();

private:
    std::unique_ptr<QTemporaryDir> home;
};

void TestDatabase::init()
{
    home.reset(new QTemporaryDir);
    QVERIFY(home->isValid());
    qputenv("HOME", QFile::encodeName(home->path()));
    InitDatabase();
    QVERIFY(QSqlDatabase::database().isOpen());
}

void TestDatabase::cleanup()
{
    QSqlDatabase::database().close();
    home.reset();
}

void TestDatabase::createsDirectoryFileAndSchema()
{
    const QString file = home->path() + "/kelvora/data.db";
    QVERIFY(QFileInfo(file).isFile());
    QCOMPARE(QSqlDatabase::database().databaseName(),
             QDir(home->path()).absolutePath() + "/kelvora/data.db");
    const QStringList tables = column(
        "select name from sqlite_master where type='table' and name!='sqlite_sequence' order by "
        "rowid");
    QCOMPARE(tables, QStringList({"download", "upload", "login_history", "setting"}));
    // SQLite keeps the statement text without "IF NOT EXISTS" and the final ';'.
    QCOMPARE(column("select sql from sqlite_master where name='login_history'").value(0),
             QString("CREATE TABLE login_history (login_name CHAR (255) PRIMARY KEY UNIQUE ON "
                     "CONFLICT REPLACE NOT NULL, pw CHAR (255), autologinflag INTEGER, savepwflag "
                     "INTEGER, time DATETIME )"));
    QCOMPARE(column("select sql from sqlite_master where name='setting'").value(0),
             QString("CREATE TABLE setting (id              INTEGER       PRIMARY KEY "
                     "AUTOINCREMENT,savepath        CHAR(260)     NOT NULL )"));
    QCOMPARE(
        column("select sql from sqlite_master where name='upload'").value(0),
        QString("CREATE TABLE upload (id              INTEGER       PRIMARY KEY "
                "AUTOINCREMENT,task_id         CHAR(40)     NOT NULL,device_id       "
                "CHAR(36)     NOT NULL,remote_path     VARCHAR(255) NOT NULL,local_path      "
                "VARCHAR(255) NOT NULL,bytes_completed INTEGER       NOT NULL,bytes_total     "
                "INTEGER       NOT NULL,create_time     DATETIME      NOT NULL,status          "
                "INTEGER       NOT NULL)"));
    QCOMPARE(column("select sql from sqlite_master where name='download'").value(0),
             QString("CREATE TABLE download (id              INTEGER       PRIMARY KEY "
                     "AUTOINCREMENT,task_id         CHAR(40)      NOT NULL,device_id       "
                     "CHAR(36)      NOT NULL,remote_path     VARCHAR(255)  NOT NULL,local_path    "
                     "  VARCHAR(255)  NOT NULL,bytes_completed INTEGER       NOT "
                     "NULL,bytes_total     INTEGER       NOT NULL,create_time     DATETIME      "
                     "NOT NULL,status          INTEGER       NOT NULL)"));
}

void TestDatabase::reopeningKeepsRows()
{
    AddLoginInfo({"alice", "pw", 1, 1});
    SetSavePath("/data/dl");
    AddTask(0, QUuid::createUuid(), "dev", "/r", "/l", 1, 2, 0, QDateTime::currentDateTime());
    InitDatabase();
    InitDatabase();
    QCOMPARE(count("login_history"), 1);
    QCOMPARE(count("download"), 1);
    QCOMPARE(GetSavePath(), QString("/data/dl"));
}

void TestDatabase::unopenableFileRunsWithoutState()
{
    QSqlDatabase::database().close();
    QTemporaryDir other;
    // A directory where the database file should be: opening fails.
    QVERIFY(QDir(other.path()).mkpath("kelvora/data.db"));
    qputenv("HOME", QFile::encodeName(other.path()));
    InitDatabase();
    QVERIFY(!QSqlDatabase::database().isOpen());

    LoginInfo info{"keep", "me", 7, 8};
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^select from table 'login_history' failed: .*"));
    QCOMPARE(GetLastLoginInfo(&info), -1);
    QCOMPARE(info.login_name, QString("keep"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^select from table 'setting' failed: .*"));
    QCOMPARE(GetSavePath(), QString());
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^AddLoginInfo to table 'login_history' failed: .*"));
    AddLoginInfo(info);
    qputenv("HOME", QFile::encodeName(home->path()));
}

void TestDatabase::loginRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::newRow("plain") << "user1"
                           << "secret";
    QTest::newRow("quotes and placeholders") << tricky << tricky;
    QTest::newRow("chinese") << QString::fromUtf8("张三") << QString::fromUtf8("密码123");
    QTest::newRow("spaces only") << "   "
                                 << "  ";
    QTest::newRow("empty password") << "nopw"
                                    << "";
    QTest::newRow("long password") << "long" << QString(60, QChar('x'));
    QTest::newRow("trailing tab") << "tab"
                                  << "abc\t";
}

void TestDatabase::loginRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    AddLoginInfo({name, password, 1, 0});
    LoginInfo info;
    QCOMPARE(GetLastLoginInfo(&info), 0);
    QCOMPARE(info.login_name, name);
    QCOMPARE(info.pw, password);
    QCOMPARE(info.savepwflag, 1);
    QCOMPARE(info.autologinflag, 0);
}

void TestDatabase::loginStoredEnciphered()
{
    AddLoginInfo({"bob", "hunter2", 2, 5});
    QSqlQuery q("select login_name, pw, autologinflag, savepwflag, time from login_history");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("bob"));
    QCOMPARE(q.value(1).toString().toLatin1(),
             PasswordCipher::encrypt("hunter2", PasswordCipher::defaultKey));
    QCOMPARE(q.value(2).toInt(), 5);
    QCOMPARE(q.value(3).toInt(), 2);
    QVERIFY(QDateTime::fromString(q.value(4).toString(), "yyyy-MM-dd hh:mm:ss").isValid());
}

void TestDatabase::sameNameReplaces()
{
    AddLoginInfo({"carol", "first", 1, 1});
    AddLoginInfo({"dave", "other", 1, 1});
    AddLoginInfo({"carol", "second", 0, 0});
    QCOMPARE(count("login_history"), 2);
    QCOMPARE(column("select count(*) from login_history where login_name='carol'"),
             QStringList{"1"});
    LoginInfo info;
    QCOMPARE(GetLastLoginInfo(&info), 0);
    QCOMPARE(info.login_name, QString("carol"));
    QCOMPARE(info.savepwflag, 0);
    // Not remembered: the password is not kept, the row still holds a valid stored text.
    QCOMPARE(info.pw, QString());
    QCOMPARE(
        column("select pw from login_history where login_name='carol'"),
        QStringList{QString::fromLatin1(PasswordCipher::encrypt("", PasswordCipher::defaultKey))});
}

void TestDatabase::newestLoginWins()
{
    // Several logins within one second: the last one is the newest.
    for (const char *n : {"u1", "u2", "u3", "u2", "u4"})
        AddLoginInfo({n, QString(n) + "pw", 1, 1});
    LoginInfo info;
    QCOMPARE(GetLastLoginInfo(&info), 0);
    QCOMPARE(info.login_name, QString("u4"));

    // An older time loses even if inserted later.
    QSqlQuery q;
    QVERIFY(q.exec("update login_history set time='2000-01-01 00:00:00' where login_name='u4'"));
    QCOMPARE(GetLastLoginInfo(&info), 0);
    QCOMPARE(info.login_name, QString("u2"));
    QCOMPARE(info.pw, QString("u2pw"));
}

void TestDatabase::emptyHistory()
{
    LoginInfo info{"keep", "me", 3, 4};
    QCOMPARE(GetLastLoginInfo(&info), -1);
    QCOMPARE(info.login_name, QString("keep"));
    QCOMPARE(info.pw, QString("me"));
    QCOMPARE(info.savepwflag, 3);
    QCOMPARE(info.autologinflag, 4);
    QCOMPARE(GetLastLoginInfo(nullptr), -1);
}

void TestDatabase::unreadableStoredPassword()
{
    QSqlQuery q;
    QVERIFY(q.exec("INSERT INTO login_history (login_name, pw, autologinflag, savepwflag, time) "
                   "VALUES ('eve', 'not base64 at all!', 1, 1, datetime('now','localtime'))"));
    LoginInfo info;
    QCOMPARE(GetLastLoginInfo(&info), 0);
    QCOMPARE(info.login_name, QString("eve"));
    QCOMPARE(info.pw, QString());
    QVERIFY(q.exec("UPDATE login_history SET pw = NULL"));
    QCOMPARE(GetLastLoginInfo(&info), 0);
    QCOMPARE(info.pw, QString());
}

void TestDatabase::loginFailureLogged()
{
    QSqlQuery q;
    QVERIFY(q.exec("DROP TABLE login_history"));
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^AddLoginInfo to table 'login_history' failed: .+"));
    AddLoginInfo({"x", "y", 1, 1});
    LoginInfo info;
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^select from table 'login_history' failed: .+"));
    QCOMPARE(GetLastLoginInfo(&info), -1);
}

void TestDatabase::addTaskBothKinds()
{
    const QUuid d = QUuid::createUuid();
    const QUuid u = QUuid::createUuid();
    const QDateTime when(QDate(2023, 4, 5), QTime(6, 7, 8));
    QCOMPARE(
        AddTask(0, d, "dev-1", "/remote/a.txt", "/local/a.txt", 10, Q_INT64_C(5000000000), 2, when),
        0);
    QCOMPARE(AddTask(1, u, "dev-1", "/remote", "/local/b.txt", 0, 42, 5, when), 0);
    QSqlQuery q("select task_id, device_id, remote_path, local_path, bytes_completed, "
                "bytes_total, create_time, status from download");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), d.toString());
    QCOMPARE(q.value(0).toString().size(), 38);
    QVERIFY(q.value(0).toString().startsWith('{'));
    QCOMPARE(q.value(1).toString(), QString("dev-1"));
    QCOMPARE(q.value(2).toString(), QString("/remote/a.txt"));
    QCOMPARE(q.value(3).toString(), QString("/local/a.txt"));
    QCOMPARE(q.value(4).toLongLong(), 10);
    QCOMPARE(q.value(5).toLongLong(), Q_INT64_C(5000000000));
    QCOMPARE(q.value(6).toString(), QString("2023-04-05 06:07:08"));
    QCOMPARE(q.value(7).toInt(), 2);
    QVERIFY(!q.next());
    QCOMPARE(column("select task_id from upload"), QStringList{u.toString()});
    QCOMPARE(column("select status from upload"), QStringList{"5"});
}

void TestDatabase::addTaskKeepsPathsVerbatim()
{
    const QString remote = QString::fromUtf8("/硬盘/it's %1 %2/文件 %3.mp4");
    const QString local = QString::fromUtf8("/home/u/下载/o'brien's %1.txt");
    AddTask(0, QUuid::createUuid(), "dev'x", remote, local, 0, 1, 0, QDateTime::currentDateTime());
    AddTask(1, QUuid::createUuid(), "dev'x", remote, local, 0, 1, 0, QDateTime::currentDateTime());
    QCOMPARE(column("select remote_path from download"), QStringList{remote});
    QCOMPARE(column("select local_path from download"), QStringList{local});
    QCOMPARE(column("select remote_path from upload"), QStringList{remote});
    QCOMPARE(column("select local_path from upload"), QStringList{local});
    QCOMPARE(column("select device_id from upload"), QStringList{"dev'x"});
}

void TestDatabase::addTaskUnknownKind()
{
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Add Task to table  failed: "));
    QCOMPARE(AddTask(2, QUuid::createUuid(), "d", "/r", "/l", 0, 0, 0, QDateTime()), 0);
    QCOMPARE(count("download"), 0);
    QCOMPARE(count("upload"), 0);
}

void TestDatabase::deleteTaskByKind()
{
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const QDateTime now = QDateTime::currentDateTime();
    AddTask(0, a, "d", "/r", "/l", 0, 0, 0, now);
    AddTask(1, a, "d", "/r", "/l", 0, 0, 0, now);
    AddTask(0, b, "d", "/r", "/l", 0, 0, 0, now);
    QCOMPARE(DeleteTask(1, a.toString()), 0);
    QCOMPARE(count("upload"), 0);
    QCOMPARE(count("download"), 2);
    QCOMPARE(DeleteTask(7, a.toString()), 0); // any kind but 1 means download
    QCOMPARE(column("select task_id from download"), QStringList{b.toString()});
    QCOMPARE(DeleteTask(0, "' OR '1'='1"), 0);
    QCOMPARE(count("download"), 1);
}

void TestDatabase::updateTask()
{
    const QUuid a = QUuid::createUuid();
    const QDateTime now = QDateTime::currentDateTime();
    AddTask(0, a, "d", "/r", "/l", 0, 0, 0, now);
    AddTask(1, a, "d", "/r", "/l", 0, 0, 0, now);
    QCOMPARE(UpdateTask(1, a.toString(), 7, Q_INT64_C(9000000000), 1), 0);
    QCOMPARE(column("select bytes_completed || ',' || bytes_total || ',' || status from upload"),
             QStringList{"7,9000000000,1"});
    QCOMPARE(column("select bytes_completed || ',' || bytes_total || ',' || status from download"),
             QStringList{"0,0,0"});
    QCOMPARE(UpdateTask(0, a.toString(), 3, 4, 3), 0);
    QCOMPARE(column("select bytes_completed || ',' || bytes_total || ',' || status from download"),
             QStringList{"3,4,3"});
}

void TestDatabase::loadTasks()
{
    const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5));
    const QString dev = QString::fromUtf8("dev'中");
    QList<QUuid> ids;
    for (int status = 0; status <= 5; ++status) {
        ids << QUuid::createUuid();
        AddTask(0, ids.last(), dev, "/r%1", tricky, status, 100, status, when);
    }
    AddTask(0, QUuid::createUuid(), "other", "/r", "/l", 0, 1, 0, when);
    AddTask(1, QUuid::createUuid(), dev, "/up", "/l", 0, 1, 4, when);

    const QList<TaskRecord> downs = LoadTasks(0, dev);
    QCOMPARE(downs.size(), 5);
    for (const TaskRecord &r : downs) {
        QVERIFY(r.status != 3);
        QCOMPARE(r.deviceId, dev);
        QCOMPARE(r.localPath, tricky);
        QCOMPARE(r.remotePath, QString("/r%1"));
        QCOMPARE(r.bytesCompleted, qint64(r.status));
        QCOMPARE(r.bytesTotal, qint64(100));
        QCOMPARE(r.createTime, QString("2024-01-02 03:04:05"));
        QCOMPARE(r.taskId, ids.at(r.status).toString());
    }
    const QList<TaskRecord> ups = LoadTasks(1, dev);
    QCOMPARE(ups.size(), 1);
    QCOMPARE(ups.first().remotePath, QString("/up"));
    QVERIFY(LoadTasks(0, "nobody").isEmpty());
}

void TestDatabase::recentFiles()
{
    const QDateTime base(QDate(2024, 5, 1), QTime(12, 0, 0));
    // Finished downloads at even seconds 0..158, finished uploads at odd seconds 81..159,
    // plus unfinished ones that are newer still.
    for (int i = 0; i < 80; ++i)
        AddTask(0, QUuid::createUuid(), "d", "/r", QString("down%1").arg(i), 0, i, 3,
                base.addSecs(2 * i));
    for (int i = 40; i < 80; ++i)
        AddTask(1, QUuid::createUuid(), "d", "/r", QString("up%1").arg(i), 0, i, 3,
                base.addSecs(2 * i + 1));
    AddTask(0, QUuid::createUuid(), "d", "/r", "running", 0, 1, 1, base.addDays(1));
    AddTask(1, QUuid::createUuid(), "d", "/r", "failed", 0, 1, 4, base.addDays(1));

    const QList<RecentFileRecord> recent = GetRecentFiles();
    QCOMPARE(recent.size(), 100);
    QCOMPARE(recent.at(0).localPath, QString("up79"));
    QCOMPARE(recent.at(0).type, 1);
    QCOMPARE(recent.at(0).bytesTotal, qint64(79));
    QCOMPARE(recent.at(0).createTime, base.addSecs(159).toString("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(recent.at(1).localPath, QString("down79"));
    QCOMPARE(recent.at(1).type, 0);
    QVERIFY(recent.at(1).id > 0);
    // 79 rows from second 81 on, then 21 more downloads: the 100 newest reach back to 40.
    QCOMPARE(recent.last().localPath, QString("down20"));
    for (int i = 1; i < recent.size(); ++i)
        QVERIFY(recent.at(i - 1).createTime > recent.at(i).createTime);
    for (const RecentFileRecord &r : recent)
        QVERIFY(r.localPath != "running" && r.localPath != "failed");
}

void TestDatabase::clearRecentFiles()
{
    const QDateTime now = QDateTime::currentDateTime();
    AddTask(0, QUuid::createUuid(), "d", "/r", "/a", 0, 1, 3, now);
    AddTask(0, QUuid::createUuid(), "d", "/r", "/b", 0, 1, 2, now);
    AddTask(1, QUuid::createUuid(), "d", "/r", "/c", 0, 1, 3, now);
    AddTask(1, QUuid::createUuid(), "d", "/r", "/d", 0, 1, 0, now);
    ClearRecentFiles();
    QCOMPARE(column("select local_path from download"), QStringList{"/b"});
    QCOMPARE(column("select local_path from upload"), QStringList{"/d"});
    QVERIFY(GetRecentFiles().isEmpty());
}

void TestDatabase::taskFailuresLogged()
{
    QSqlQuery q;
    QVERIFY(q.exec("DROP TABLE download"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Add Task to table  failed: .+"));
    QCOMPARE(AddTask(0, QUuid::createUuid(), "d", "/r", "/l", 0, 0, 0, QDateTime()), 0);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^query failed: .+"));
    QCOMPARE(DeleteTask(0, "x"), 0);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^query failed: .+"));
    QCOMPARE(UpdateTask(0, "x", 1, 1, 1), 0);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^query failed: .+"));
    QVERIFY(LoadTasks(0, "d").isEmpty());
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^query failed: .+"));
    QVERIFY(GetRecentFiles().isEmpty());
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^clear table 'download' failed: .+"));
    ClearRecentFiles();
}

void TestDatabase::savePath()
{
    QCOMPARE(GetSavePath(), QString());
    QCOMPARE(SetSavePath(tricky), 0);
    QCOMPARE(GetSavePath(), tricky);
    QCOMPARE(column("select id from setting"), QStringList{"1"});
    QCOMPARE(SetSavePath(QString::fromUtf8("D:/下载")), 0);
    QCOMPARE(column("select id from setting"), QStringList{"1"});
    QCOMPARE(GetSavePath(), QString::fromUtf8("D:/下载"));
}

void TestDatabase::savePathFailuresLogged()
{
    QSqlQuery q;
    QVERIFY(q.exec("DROP TABLE setting"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^select from table 'setting' failed: .+"));
    QCOMPARE(SetSavePath("/x"), 0);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^select from table 'setting' failed: .+"));
    QCOMPARE(GetSavePath(), QString());
    // A table that counts but refuses the write.
    QVERIFY(q.exec("CREATE TABLE setting (id INTEGER PRIMARY KEY, savepath CHAR(260) NOT NULL "
                   "CHECK (length(savepath) < 3))"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^insert into table 'setting' failed: .+"));
    QCOMPARE(SetSavePath("/too/long"), 0);
    QCOMPARE(GetSavePath(), QString());
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
