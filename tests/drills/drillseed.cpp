// Prepares a data directory ($HOME/kelvora) through the store's own functions, as a user's
// earlier session would have left it, so that the next start of the client signs in by itself
// and resumes the transfers:
//   drillseed login NAME PASSWORD                           (remembered, signs in by itself)
//   drillseed download DEVICEID REMOTEPATH LOCALPATH SIZE   (an unfinished download)
//   drillseed upload DEVICEID REMOTEFOLDER LOCALPATH        (an unfinished upload)
#include "store/database.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments().mid(1);
    const QString mode = a.value(0);
    if (!((mode == QLatin1String("login") && a.size() == 3) ||
          (mode == QLatin1String("download") && a.size() == 5) ||
          (mode == QLatin1String("upload") && a.size() == 4))) {
        std::fputs("usage: drillseed login NAME PASSWORD | download DEVICEID REMOTE LOCAL SIZE | "
                   "upload DEVICEID REMOTEFOLDER LOCAL\n",
                   stderr);
        return 2;
    }
    InitDatabase();
    if (mode == QLatin1String("login")) {
        LoginInfo info;
        info.login_name = a[1];
        info.pw = a[2];
        info.savepwflag = info.autologinflag = 1;
        AddLoginInfo(info);
        LoginInfo back;
        return GetLastLoginInfo(&back) == 0 && back.pw == info.pw ? 0 : 1;
    }
    const bool upload = mode == QLatin1String("upload");
    const qint64 total = upload ? QFileInfo(a[3]).size() : a[4].toLongLong();
    // Queued (5), as the task manager stores a transfer it has not started yet.
    return AddTask(upload ? 1 : 0, QUuid::createUuid(), a[1], a[2], a[3], 0, total, 5,
                   QDateTime::currentDateTime()) == 0
               ? 0
               : 1;
}
