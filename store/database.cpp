#include "store/database.h"

#include "platform/appdirs.h"
#include "store/passwordcipher.h"

#include <QDebug>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

// Every value is bound as a parameter, so quotes, "%1" and any other text are stored as given.

namespace {

const char *const createStatements[][2] = {
    {"download",
     "CREATE TABLE IF NOT EXISTS download (id              INTEGER       PRIMARY KEY "
     "AUTOINCREMENT,task_id         CHAR(40)      NOT NULL,device_id       CHAR(36)      NOT "
     "NULL,remote_path     VARCHAR(255)  NOT NULL,local_path      VARCHAR(255)  NOT "
     "NULL,bytes_completed INTEGER       NOT NULL,bytes_total     INTEGER       NOT "
     "NULL,create_time     DATETIME      NOT NULL,status          INTEGER       NOT NULL);"},
    {"upload",
     "CREATE TABLE IF NOT EXISTS upload (id              INTEGER       PRIMARY KEY "
     "AUTOINCREMENT,task_id         CHAR(40)     NOT NULL,device_id       CHAR(36)     NOT "
     "NULL,remote_path     VARCHAR(255) NOT NULL,local_path      VARCHAR(255) NOT "
     "NULL,bytes_completed INTEGER       NOT NULL,bytes_total     INTEGER       NOT "
     "NULL,create_time     DATETIME      NOT NULL,status          INTEGER       NOT NULL);"},
    {"login_history",
     "CREATE TABLE IF NOT EXISTS login_history (login_name CHAR (255) PRIMARY KEY UNIQUE ON "
     "CONFLICT REPLACE NOT NULL, pw CHAR (255), autologinflag INTEGER, savepwflag INTEGER, time "
     "DATETIME );"},
    {"setting", "CREATE TABLE IF NOT EXISTS setting (id              INTEGER       PRIMARY KEY "
                "AUTOINCREMENT,savepath        CHAR(260)     NOT NULL );"},
};

QByteArray errorText(const QSqlQuery &query)
{
    return query.lastError().text().toUtf8();
}

const char *tableOf(int kind)
{
    return kind == 1 ? "upload" : "download";
}

} // namespace

void InitDatabase()
{
    const QString connection = QLatin1String(QSqlDatabase::defaultConnection);
    QSqlDatabase db;
    if (QSqlDatabase::contains(connection)) {
        db = QSqlDatabase::database(connection, false);
        if (db.isOpen())
            db.close();
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    }

    // The file holds the remembered password under a key that ships with the program: only this
    // user may read it. Folders and files left wider by earlier versions are tightened.
    const QDir home = QDir::home();
    const QString folder = home.absoluteFilePath(QStringLiteral("kelvora"));
    const QString file = QStringLiteral("%1/kelvora/data.db").arg(home.absolutePath());
    if (!ensurePrivateDirectory(folder) || !ensurePrivateFile(file))
        qDebug("data folder not private: %s", qPrintable(folder));

    db.setDatabaseName(file);
    if (!db.open()) {
        std::fputs("open database failed\n", stderr);
        return;
    }

    for (const auto &table : createStatements) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(table[1])))
            qDebug("create table '%s' failed: %s", table[0], errorText(query).constData());
    }
}

void AddLoginInfo(const LoginInfo &info)
{
    // A password the user chose not to remember is not kept on disk; the row keeps the
    // stored form (of the empty password) so every reader still finds a valid text.
    const QByteArray plain = info.savepwflag != 0 ? info.pw.toUtf8() : QByteArray();
    const QByteArray stored =
        PasswordCipher::encrypt(plain, QByteArray(PasswordCipher::defaultKey));
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "INSERT INTO login_history (login_name, pw, autologinflag, savepwflag, time) VALUES (?, "
        "?, ?, ?, datetime('now','localtime'))"));
    query.addBindValue(info.login_name);
    query.addBindValue(QString::fromLatin1(stored));
    query.addBindValue(info.autologinflag);
    query.addBindValue(info.savepwflag);
    if (!query.exec())
        qDebug("AddLoginInfo to table 'login_history' failed: %s", errorText(query).constData());
}

int GetLastLoginInfo(LoginInfo *info)
{
    if (!info)
        return -1;
    QSqlQuery query;
    // time has whole seconds only: the row inserted last (highest rowid, also after a
    // replace) wins a tie.
    if (!query.exec(QStringLiteral("select login_name, pw, autologinflag, savepwflag from "
                                   "login_history order by time desc, rowid desc"))) {
        qDebug("select from table 'login_history' failed: %s", errorText(query).constData());
        return -1;
    }
    if (!query.next())
        return -1;
    info->login_name = query.value(0).toString();
    info->pw = QString::fromUtf8(PasswordCipher::decrypt(query.value(1).toString().toLatin1(),
                                                         QByteArray(PasswordCipher::defaultKey)));
    info->autologinflag = query.value(2).toInt();
    info->savepwflag = query.value(3).toInt();
    return 0;
}

int AddTask(int kind, const QUuid &taskId, const QString &deviceId, const QString &remotePath,
            const QString &localPath, qint64 bytesCompleted, qint64 bytesTotal, int status,
            const QDateTime &createTime)
{
    if (kind != 0 && kind != 1) {
        qDebug("Add Task to table  failed: %s", "");
        return 0;
    }
    QSqlQuery query;
    query.prepare(QStringLiteral("INSERT INTO %1 (task_id, device_id, bytes_completed, "
                                 "bytes_total, status, create_time, remote_path, local_path) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
                      .arg(QLatin1String(tableOf(kind))));
    query.addBindValue(taskId.toString());
    query.addBindValue(deviceId);
    query.addBindValue(bytesCompleted);
    query.addBindValue(bytesTotal);
    query.addBindValue(status);
    query.addBindValue(createTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    query.addBindValue(remotePath);
    query.addBindValue(localPath);
    if (!query.exec())
        qDebug("Add Task to table  failed: %s", errorText(query).constData());
    return 0;
}

int DeleteTask(int kind, const QString &taskId)
{
    QSqlQuery query;
    query.prepare(
        QStringLiteral("DELETE FROM %1 WHERE task_id = ?").arg(QLatin1String(tableOf(kind))));
    query.addBindValue(taskId);
    if (!query.exec())
        qDebug("query failed: %s", errorText(query).constData());
    return 0;
}

int UpdateTask(int kind, const QString &taskId, qint64 bytesCompleted, qint64 bytesTotal,
               int status)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE %1 SET bytes_completed = ?, bytes_total = ?, status = ? "
                                 "WHERE task_id = ?")
                      .arg(QLatin1String(tableOf(kind))));
    query.addBindValue(bytesCompleted);
    query.addBindValue(bytesTotal);
    query.addBindValue(status);
    query.addBindValue(taskId);
    if (!query.exec())
        qDebug("query failed: %s", errorText(query).constData());
    return 0;
}

int UpdateTaskLocalPath(int kind, const QString &taskId, const QString &localPath)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE %1 SET local_path = ? WHERE task_id = ?")
                      .arg(QLatin1String(tableOf(kind))));
    query.addBindValue(localPath);
    query.addBindValue(taskId);
    if (!query.exec())
        qDebug("query failed: %s", errorText(query).constData());
    return 0;
}

namespace {

// Runs a prepared or plain statement and hands each row to read; logs and gives no rows on
// failure.
template <typename Record, typename Read>
QList<Record> readRows(QSqlQuery &query, const QString &statement, Read read)
{
    QList<Record> records;
    if (!(statement.isEmpty() ? query.exec() : query.exec(statement))) {
        qDebug("query failed: %s", errorText(query).constData());
        return records;
    }
    while (query.next())
        records.append(read(query));
    return records;
}

} // namespace

QList<TaskRecord> LoadTasks(int kind, const QString &deviceId)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT task_id, device_id, remote_path, local_path, "
                                 "bytes_completed, bytes_total, status, create_time FROM %1 WHERE "
                                 "device_id = ? AND status != ?")
                      .arg(QLatin1String(tableOf(kind))));
    query.addBindValue(deviceId);
    query.addBindValue(3);
    return readRows<TaskRecord>(query, QString(), [](const QSqlQuery &q) {
        TaskRecord r;
        r.taskId = q.value(0).toString();
        r.deviceId = q.value(1).toString();
        r.remotePath = q.value(2).toString();
        r.localPath = q.value(3).toString();
        r.bytesCompleted = q.value(4).toLongLong();
        r.bytesTotal = q.value(5).toLongLong();
        r.status = q.value(6).toInt();
        r.createTime = q.value(7).toString();
        return r;
    });
}

QList<RecentFileRecord> GetRecentFiles()
{
    QSqlQuery query;
    return readRows<RecentFileRecord>(
        query,
        QStringLiteral(
            "SELECT 0 as type,id,local_path,bytes_total,create_time FROM download WHERE status=3 "
            "UNION SELECT 1 as type,id,local_path,bytes_total,create_time FROM upload WHERE "
            "status=3 ORDER BY create_time DESC LIMIT 0,100"),
        [](const QSqlQuery &q) {
            RecentFileRecord r;
            r.type = q.value(0).toInt();
            r.id = q.value(1).toLongLong();
            r.localPath = q.value(2).toString();
            r.bytesTotal = q.value(3).toLongLong();
            r.createTime = q.value(4).toString();
            return r;
        });
}

void ClearRecentFiles()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("DELETE FROM download WHERE status=3")))
        qDebug("clear table 'download' failed: %s", errorText(query).constData());
    if (!query.exec(QStringLiteral("DELETE FROM upload WHERE status=3")))
        qDebug("clear table 'upload' failed: %s", errorText(query).constData());
}

bool BeginTransaction()
{
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
    return db.isOpen() && db.transaction();
}

void CommitTransaction()
{
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
    if (db.isOpen() && !db.commit())
        qDebug("commit failed: %s", qUtf8Printable(db.lastError().text()));
}

QString GetSavePath()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("select savepath from setting"))) {
        qDebug("select from table 'setting' failed: %s", errorText(query).constData());
        return QString();
    }
    if (!query.next())
        return QString();
    return query.value(0).toString();
}

int SetSavePath(const QString &path)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("select Count() from setting"))) {
        qDebug("select from table 'setting' failed: %s", errorText(query).constData());
        return 0;
    }
    if (!query.next())
        return 0;
    const bool exists = query.value(0).toInt() > 0;
    QSqlQuery write;
    if (exists)
        write.prepare(QStringLiteral("UPDATE setting SET savepath = ? WHERE id = 1 "));
    else
        write.prepare(QStringLiteral("INSERT INTO setting (savepath) VALUES (?)"));
    write.addBindValue(path);
    if (!write.exec())
        qDebug("insert into table 'setting' failed: %s", errorText(write).constData());
    return 0;
}
