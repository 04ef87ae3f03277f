#ifndef KELVORA_FILETEXTS_H
#define KELVORA_FILETEXTS_H

#include <QDateTime>
#include <QString>

// Texts and icons shared by every view of device files.

// ":/image/file/<type>[_small].png" by the name's extension: documents "word", archives "zip",
// audio "music", video "video", pictures "pic", anything else "file".
QString fileIconPath(const QString &name, bool small);

// "%.2f GB", "%.2f MB", "%.2f KB" above 2^30, 2^20 and 1024 bytes (strictly), else "%d 字节".
QString formatFileSize(quint64 bytes);

// The path with its partition's mount path replaced by the partition's name (the first key of
// the partition-name table, in key order, that the path starts with); unchanged otherwise.
QString displayPath(const QString &path);

// "yyyy-MM-dd hh:mm:ss".
QString fileTimeText(const QDateTime &time);

#endif
