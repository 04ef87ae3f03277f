#include "transfer/freespace.h"

#include "transfer/task.h"

#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

qint64 FreeSpace::missing(qint64 available, qint64 needed, qint64 pending)
{
    if (available < 0)
        return 0;
    const qint64 wanted = qMax<qint64>(0, needed) + qMax<qint64>(0, pending);
    return qMax<qint64>(0, wanted - available);
}

qint64 FreeSpace::pendingOn(const QString &folder, const QList<Task *> &downloads)
{
    const QString disk = QStorageInfo(folder).rootPath();
    if (disk.isEmpty())
        return 0;
    // Looking up a disk reads the mount table: once per folder, not once per download.
    QHash<QString, bool> sameDisk;
    qint64 pending = 0;
    for (const Task *task : downloads) {
        if (task->status() == Task::Complete)
            continue;
        const QString taskFolder = QFileInfo(task->localPath()).absolutePath();
        auto it = sameDisk.find(taskFolder);
        if (it == sameDisk.end())
            it = sameDisk.insert(taskFolder, QStorageInfo(taskFolder).rootPath() == disk);
        if (it.value())
            pending += qMax<qint64>(0, task->bytesTotal() - task->bytesCompleted());
    }
    return pending;
}

qint64 FreeSpace::availableAt(const QString &folder)
{
    const QStorageInfo info(folder);
    if (!info.isValid() || !info.isReady())
        return -1;
    return info.bytesAvailable();
}
