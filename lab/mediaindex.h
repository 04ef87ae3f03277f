#pragma once

#include "lab/devicefs.h"

#include <QHash>
#include <QString>
#include <QVector>

// The device's media library: every picture, document and video on its partitions, newest
// first, with videos grouped into series (a folder, other than a partition root, that holds
// two or more videos).
class MediaIndex
{
public:
    struct File
    {
        QString devicePath;
        QString hostPath;
        QString name;
        qint64 size = 0;
        qint64 time = 0;
        QString fileid;
        int series = -1;
    };
    struct Series
    {
        int id = 0;
        QString name;
        QString devicePath;
        QVector<int> videos; // indexes into videos(), newest first
        qint64 time = 0;
    };

    static bool isPicture(const QString &name);
    static bool isDocument(const QString &name);
    static bool isVideo(const QString &name);
    static QString fileIdOf(const QString &devicePath);

    void scan(const DeviceFs &fs);

    const QVector<File> &pictures() const { return pictures_; }
    const QVector<File> &documents() const { return documents_; }
    const QVector<File> &videos() const { return videos_; }
    const QVector<Series> &series() const { return series_; }
    const File *videoById(const QString &fileid) const;
    const Series *seriesById(int id) const;

private:
    QVector<File> pictures_;
    QVector<File> documents_;
    QVector<File> videos_;
    QVector<Series> series_;
    QHash<QString, int> videoIds_;
};
