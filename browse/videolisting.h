#ifndef KELVORA_VIDEOLISTING_H
#define KELVORA_VIDEOLISTING_H

#include "browse/devicereply.h"

#include <QDateTime>
#include <QString>
#include <QVector>

// One row of the video library: a single video, or a series that stands for several.
class VideoRow
{
public:
    bool isSeries = false;
    // Where the poster image is ("imgpath" of a video, "imagepath" of a series); may be empty.
    QString posterUrl;

    // A video: its path as the device spells it ("filepath" decoded), the name shown
    // ("videoname" decoded, else the last segment of the path), size, time and the poster's
    // cache key ("cid", else "fileid"; empty when the device gives neither).
    QString path;
    QString name;
    quint64 size = 0;
    QDateTime time;
    QString posterKey;

    // A series: its number, name ("seriesname" decoded) and how many videos it holds.
    int seriesId = 0;
    QString seriesName;
    int fileCount = 0;
};

// One page of a "getrealvideo" reply: all videos with series grouped, or one series.
class VideoListing
{
public:
    DeviceReply::Status status = DeviceReply::NotObject;
    int rtn = 0;
    // Rows of the whole listing, from "videototle" (decimal text or a number; never below 0).
    int total = 0;
    // One row per object of "videolist", in order; at most the limit given to parse().
    QVector<VideoRow> rows;

    bool ok() const { return status == DeviceReply::Ok; }

    static VideoListing parse(const QByteArray &body, int limit);
};

#endif
