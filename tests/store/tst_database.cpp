// The database functions on a fresh temporary home per test.
#include "store/database.h"
#include "store/passwordcipher.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

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
    return column(QStringLiteral("select count(*) from %1").arg(table)).value(0).toInt();
}

// The next debug line must be this failure report; the reason is empty without a database.
void expectFailure(const QString &what, const QString &reason = ".+")
{
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(what) +
                                                        " failed: " + reason));
}

// A transfer row with the given kind, status, local path and time; its id.
QUuid addTask(int kind, int status = 0, const QString &local = "/l",
              const QDateTime &when = QDateTime::currentDateTime())
{
    const QUuid id = QUuid::createUuid();
    AddTask(kind, id, "d", "/r", local, 0, 1, status, when);
    return id;
}

const QString taskColumns = "id task_id device_id remote_path local_path bytes_completed "
                            "bytes_total create_time status";

const QString tricky = QString::fromUtf8("它's \"引号\" %1 %2 100% ''; DROP TABLE upload; --");

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        home.reset(new QTemporaryDir);
        QVERIFY(home->isValid());
        qputenv("HOME", QFile::encodeName(home->path()));
        InitDatabase();
        QVERIFY(QSqlDatabase::database().isOpen());
    }

    void cleanup()
    {
        QSqlDatabase::database().close();
        home.reset();
    }

    void createsDirectoryFileAndSchema()
    {
        const QString file = home->path() + "/kelvora/data.db";
        QVERIFY(QFileInfo(file).isFile());
        QCOMPARE(QSqlDatabase::database().databaseName(),
                 QDir(home->path()).absolutePath() + "/kelvora/data.db");
        // The columns, in order, that files written by earlier versions hold.
        QCOMPARE(column("select m.name || ': ' || (select group_concat(p.name, ' ') from "
                        "pragma_table_info(m.name) p) from sqlite_master m where m.type='table' "
                        "and m.name!='sqlite_sequence' order by m.rowid"),
                 QStringList({"download: " + taskColumns, "upload: " + taskColumns,
                              "login_history: login_name pw autologinflag savepwflag time",
                              "setting: id savepath"}));
    }

    // The stored password's key ships with the program: only the user may read the file. An
    // earlier install's wider folder and file are tightened, and their rows read as before.
    void onlyTheUserReadsIt()
    {
        const QByteArray folder = QFile::encodeName(home->path() + "/kelvora");
        const QByteArray file = folder + "/data.db";
        const auto mode = [](const QByteArray &path) {
            struct stat info;
            return ::stat(path.constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
        };
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(file), 0600);
        AddLoginInfo({"alice", "secret", 1, 1});
        QSqlDatabase::database().close();
        QVERIFY(::chmod(folder.constData(), 0755) == 0 && ::chmod(file.constData(), 0644) == 0);
        InitDatabase();
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(file), 0600);
        LoginInfo info;
        QCOMPARE(GetLastLoginInfo(&info), 0);
        QCOMPARE(info.pw, QString("secret"));
    }

    void reopeningKeepsRows()
    {
        AddLoginInfo({"alice", "pw", 1, 1});
        SetSavePath("/data/dl");
        addTask(0);
        InitDatabase();
        InitDatabase();
        QCOMPARE(count("login_history"), 1);
        QCOMPARE(count("download"), 1);
        QCOMPARE(GetSavePath(), QString("/data/dl"));
    }

    void unopenableFileRunsWithoutState()
    {
        QSqlDatabase::database().close();
        QTemporaryDir other;
        // A directory where the database file should be: opening fails.
        QVERIFY(QDir(other.path()).mkpath("kelvora/data.db"));
        qputenv("HOME", QFile::encodeName(other.path()));
        InitDatabase();
        QVERIFY(!QSqlDatabase::database().isOpen());

        LoginInfo info{"keep", "me", 7, 8};
        expectFailure("select from table 'login_history'", ".*");
        QCOMPARE(GetLastLoginInfo(&info), -1);
        QCOMPARE(info.login_name, QString("keep"));
        expectFailure("select from table 'setting'", ".*");
        QCOMPARE(GetSavePath(), QString());
        expectFailure("AddLoginInfo to table 'login_history'", ".*");
        AddLoginInfo(info);
        qputenv("HOME", QFile::encodeName(home->path()));
    }

    void loginRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "user1" << QString("secret");
        QTest::newRow("quotes and placeholders") << tricky << tricky;
        QTest::newRow("chinese") << QString::fromUtf8("张三") << QString::fromUtf8("密码123");
        QTest::newRow("spaces only") << "   " << QString("  ");
        QTest::newRow("empty password") << "nopw" << QString();
        QTest::newRow("long password") << "long" << QString(60, QChar('x'));
        QTest::newRow("trailing tab") << "tab" << QString("abc\t");
    }

    void loginRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        AddLoginInfo({name, password, 2, 5});
        LoginInfo info;
        QCOMPARE(GetLastLoginInfo(&info), 0);
        QCOMPARE(info.login_name, name);
        QCOMPARE(info.pw, password);
        QCOMPARE(info.savepwflag, 2);
        QCOMPARE(info.autologinflag, 5);
        // Stored enciphered with the fixed key, each flag in its own column.
        QSqlQuery q("select pw, autologinflag, savepwflag, time from login_history");
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString().toLatin1(),
                 PasswordCipher::encrypt(password.toUtf8(), PasswordCipher::defaultKey));
        QCOMPARE(q.value(1).toInt(), 5);
        QCOMPARE(q.value(2).toInt(), 2);
        QVERIFY(QDateTime::fromString(q.value(3).toString(), "yyyy-MM-dd hh:mm:ss").isValid());
    }

    void sameNameReplacesAndForgetsPassword()
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
        QCOMPARE(column("select pw from login_history where login_name='carol'"),
                 QStringList{
                     QString::fromLatin1(PasswordCipher::encrypt("", PasswordCipher::defaultKey))});
    }

    void newestLoginWins()
    {
        // Several logins within one second: the last one is the newest.
        for (const char *n : {"u1", "u2", "u3", "u2", "u4"})
            AddLoginInfo({n, QString(n) + "pw", 1, 1});
        LoginInfo info;
        QCOMPARE(GetLastLoginInfo(&info), 0);
        QCOMPARE(info.login_name, QString("u4"));
        // An older time loses even if inserted later.
        QSqlQuery q;
        QVERIFY(
            q.exec("update login_history set time='2000-01-01 00:00:00' where login_name='u4'"));
        QCOMPARE(GetLastLoginInfo(&info), 0);
        QCOMPARE(info.login_name, QString("u2"));
        QCOMPARE(info.pw, QString("u2pw"));
    }

    void emptyHistoryAndUnreadablePassword()
    {
        LoginInfo info{"keep", "me", 3, 4};
        QCOMPARE(GetLastLoginInfo(&info), -1);
        QCOMPARE(info.login_name, QString("keep"));
        QCOMPARE(info.pw, QString("me"));
        QCOMPARE(info.savepwflag, 3);
        QCOMPARE(info.autologinflag, 4);
        QCOMPARE(GetLastLoginInfo(nullptr), -1);

        QSqlQuery q;
        QVERIFY(
            q.exec("INSERT INTO login_history (login_name, pw, autologinflag, savepwflag, time) "
                   "VALUES ('eve', 'not base64 at all!', 1, 1, datetime('now','localtime'))"));
        QCOMPARE(GetLastLoginInfo(&info), 0);
        QCOMPARE(info.login_name, QString("eve"));
        QCOMPARE(info.pw, QString());
        info.pw = "stale";
        QVERIFY(q.exec("UPDATE login_history SET pw = NULL"));
        QCOMPARE(GetLastLoginInfo(&info), 0);
        QCOMPARE(info.pw, QString());
    }

    void addTaskBothKinds()
    {
        const QUuid d = QUuid::createUuid();
        const QUuid u = QUuid::createUuid();
        const QDateTime when(QDate(2023, 4, 5), QTime(6, 7, 8));
        const QString remote = QString::fromUtf8("/硬盘/it's %1 %2/文件 %3.mp4");
        QCOMPARE(AddTask(0, d, "dev'x", remote, tricky, 10, Q_INT64_C(5000000000), 2, when), 0);
        QCOMPARE(AddTask(1, u, "dev'x", remote, tricky, 0, 42, 5, when), 0);
        for (const char *table : {"download", "upload"}) {
            QSqlQuery q(
                QString("select task_id, device_id, remote_path, local_path, bytes_completed "
                        "|| ',' || bytes_total || ',' || status, create_time from %1")
                    .arg(table));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), (table[0] == 'd' ? d : u).toString()); // "{...}"
            QCOMPARE(q.value(1).toString(), QString("dev'x"));
            QCOMPARE(q.value(2).toString(), remote);
            QCOMPARE(q.value(3).toString(), tricky);
            QCOMPARE(q.value(4).toString(),
                     QString(table[0] == 'd' ? "10,5000000000,2" : "0,42,5"));
            QCOMPARE(q.value(5).toString(), QString("2023-04-05 06:07:08"));
            QVERIFY(!q.next());
        }
        QVERIFY(d.toString().startsWith('{'));
        // Any other kind stores nothing.
        expectFailure("Add Task to table ", QString());
        QCOMPARE(AddTask(2, QUuid::createUuid(), "d", "/r", "/l", 0, 0, 0, QDateTime()), 0);
        QCOMPARE(count("download") + count("upload"), 2);
    }

    void deleteTaskByKind()
    {
        const QUuid a = addTask(0);
        AddTask(1, a, "d", "/r", "/l", 0, 0, 0, QDateTime::currentDateTime());
        const QUuid b = addTask(0);
        QCOMPARE(DeleteTask(1, a.toString()), 0);
        QCOMPARE(count("upload"), 0);
        QCOMPARE(count("download"), 2);
        QCOMPARE(DeleteTask(7, a.toString()), 0); // any kind but 1 means download
        QCOMPARE(column("select task_id from download"), QStringList{b.toString()});
        QCOMPARE(DeleteTask(0, "' OR '1'='1"), 0);
        QCOMPARE(count("download"), 1);
    }

    void updateTask()
    {
        const QUuid a = addTask(0);
        AddTask(1, a, "d", "/r", "/l", 0, 1, 0, QDateTime::currentDateTime());
        const QString progress(
            "select bytes_completed || ',' || bytes_total || ',' || status from ");
        QCOMPARE(UpdateTask(1, a.toString(), 7, Q_INT64_C(9000000000), 1), 0);
        QCOMPARE(column(progress + "upload"), QStringList{"7,9000000000,1"});
        QCOMPARE(column(progress + "download"), QStringList{"0,1,0"});
        QCOMPARE(UpdateTask(0, a.toString(), 3, 4, 3), 0);
        QCOMPARE(column(progress + "download"), QStringList{"3,4,3"});
    }

    void loadTasks()
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

    void recentFiles()
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
        addTask(0, 1, "running", base.addDays(1));
        addTask(1, 4, "failed", base.addDays(1));

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

    void clearRecentFiles()
    {
        addTask(0, 3, "/a");
        addTask(0, 2, "/b");
        addTask(1, 3, "/c");
        addTask(1, 0, "/d");
        ClearRecentFiles();
        QCOMPARE(column("select local_path from download"), QStringList{"/b"});
        QCOMPARE(column("select local_path from upload"), QStringList{"/d"});
        QVERIFY(GetRecentFiles().isEmpty());
    }

    void savePath()
    {
        QCOMPARE(GetSavePath(), QString());
        QCOMPARE(SetSavePath(tricky), 0);
        QCOMPARE(GetSavePath(), tricky);
        QCOMPARE(SetSavePath(QString::fromUtf8("D:/下载")), 0);
        QCOMPARE(column("select id from setting"), QStringList{"1"});
        QCOMPARE(GetSavePath(), QString::fromUtf8("D:/下载"));
    }

    void failuresLogged()
    {
        QSqlQuery q;
        for (const char *table : {"login_history", "download", "setting"})
            QVERIFY(q.exec(QString("DROP TABLE %1").arg(table)));
        expectFailure("AddLoginInfo to table 'login_history'");
        AddLoginInfo({"x", "y", 1, 1});
        LoginInfo info;
        expectFailure("select from table 'login_history'");
        QCOMPARE(GetLastLoginInfo(&info), -1);

        expectFailure("Add Task to table ");
        QCOMPARE(AddTask(0, QUuid::createUuid(), "d", "/r", "/l", 0, 0, 0, QDateTime()), 0);
        for (int i = 0; i < 4; ++i)
            expectFailure("query");
        QCOMPARE(DeleteTask(0, "x"), 0);
        QCOMPARE(UpdateTask(0, "x", 1, 1, 1), 0);
        QVERIFY(LoadTasks(0, "d").isEmpty());
        QVERIFY(GetRecentFiles().isEmpty());
        expectFailure("clear table 'download'");
        ClearRecentFiles();

        expectFailure("select from table 'setting'");
        QCOMPARE(SetSavePath("/x"), 0);
        expectFailure("select from table 'setting'");
        QCOMPARE(GetSavePath(), QString());
        // A table that counts but refuses the write.
        QVERIFY(q.exec("CREATE TABLE setting (id INTEGER PRIMARY KEY, savepath CHAR(260) NOT NULL "
                       "CHECK (length(savepath) < 3))"));
        expectFailure("insert into table 'setting'");
        QCOMPARE(SetSavePath("/too/long"), 0);
        QCOMPARE(GetSavePath(), QString());
    }

private:
    std::unique_ptr<QTemporaryDir> home;
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
