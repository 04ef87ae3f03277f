// The local database data.db: plain functions on Qt's default SQL connection, GUI thread only.
#ifndef DATABASE_H
#define DATABASE_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

// One login-history row as the program sees it; pw is the plain password.
struct LoginInfo
{
    QString login_name;
    QString pw;
    int savepwflag = 0;
    int autologinflag = 0;
};

// One unfinished transfer row as reloaded for a device.
struct TaskRecord
{
    QString taskId; // "{...}", 38 characters
    QString deviceId;
    QString remotePath;
    QString localPath;
    qint64 bytesCompleted = 0;
    qint64 bytesTotal = 0;
    int status = 0;
    QString createTime; // "yyyy-MM-dd hh:mm:ss"
};

// One finished transfer as the recent-files view lists it.
struct RecentFileRecord
{
    int type = 0; // 0 download, 1 upload
    qint64 id = 0;
    QString localPath;
    qint64 bytesTotal = 0;
    QString createTime;
};

// Opens (creating if needed) $HOME/kelvora/data.db and its four tables. The folder is kept
// 0700 and the file 0600, tightened when found wider.
void InitDatabase();

// The password is kept only when savepwflag is non-zero (else the empty password is stored).
void AddLoginInfo(const LoginInfo &info);
// 0 when a row was read into *info; -1 (info untouched) when info is null, the query fails or
// the history is empty.
int GetLastLoginInfo(LoginInfo *info);

// kind 0 download, 1 upload; any other kind stores nothing. Always 0.
int AddTask(int kind, const QUuid &taskId, const QString &deviceId, const QString &remotePath,
            const QString &localPath, qint64 bytesCompleted, qint64 bytesTotal, int status,
            const QDateTime &createTime);
// kind 1 upload, any other value download. Always 0.
int DeleteTask(int kind, const QString &taskId);
// kind 1 upload, any other value download. Always 0.
int UpdateTask(int kind, const QString &taskId, qint64 bytesCompleted, qint64 bytesTotal,
               int status);
// kind 1 upload, any other value download. Always 0.
int UpdateTaskLocalPath(int kind, const QString &taskId, const QString &localPath);
// The device's transfers that are not complete (status != 3); kind 1 upload, else download.
QList<TaskRecord> LoadTasks(int kind, const QString &deviceId);

// The newest 100 complete transfers of both tables, newest first.
QList<RecentFileRecord> GetRecentFiles();
void ClearRecentFiles();

// Many writes in one transaction: they reach the disk together, once. Begin is false (and
// nothing to commit) when a transaction is already open or the database is not.
bool BeginTransaction();
void CommitTransaction();

QString GetSavePath();
int SetSavePath(const QString &path);

#endif // DATABASE_H
