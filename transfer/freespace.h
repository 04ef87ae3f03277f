#ifndef KELVORA_FREESPACE_H
#define KELVORA_FREESPACE_H

#include <QList>
#include <QString>

class Task;

// Whether new downloads fit on the disk of their save folder, counting what the downloads
// already in the list still have to write onto the same disk.
class FreeSpace
{
public:
    // Bytes missing when `needed` new bytes and `pending` promised bytes go onto a disk with
    // `available` free bytes; 0 when they fit or the free space is unknown (negative).
    static qint64 missing(qint64 available, qint64 needed, qint64 pending);
    // Bytes the unfinished downloads still have to write onto the disk that holds folder.
    static qint64 pendingOn(const QString &folder, const QList<Task *> &downloads);
    // Free bytes for this user on the disk that holds folder; -1 when unknown.
    static qint64 availableAt(const QString &folder);
};

#endif
