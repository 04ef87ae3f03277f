#ifndef KELVORA_FILEENTRY_H
#define KELVORA_FILEENTRY_H

#include <QDateTime>
#include <QString>
#include <QVector>
#include <Qt>

// The data every file-list entry carries under its item roles.
enum FileRole
{
    KindRole = Qt::UserRole,
    PathRole = Qt::UserRole + 1,
    SizeRole = Qt::UserRole + 2,
    TimeRole = Qt::UserRole + 3,
    // Video library rows: the series number of a series, -1 for a single video.
    SeriesRole = Qt::UserRole + 4
};

enum FileKind
{
    FolderKind = 1,
    PlainFileKind = 2
};

// Item type of a file-list entry.
const int FileEntryType = 1000;

class FileEntry
{
public:
    int kind = PlainFileKind;
    // The full path on the device, as the device spells it (not percent-encoded).
    QString path;
    quint64 size = 0;
    QDateTime time;

    bool isFolder() const { return kind == FolderKind; }
};

using FileEntries = QVector<FileEntry>;

#endif
