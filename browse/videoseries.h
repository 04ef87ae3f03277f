#ifndef KELVORA_VIDEOSERIES_H
#define KELVORA_VIDEOSERIES_H

#include <QString>

// Which videos the library shows: a series number (0 or more, and -15, which the device also
// answers as a series), or all videos (-1; every other negative number means the same).
class VideoSeries
{
public:
    static const int allVideos = -1;

    static bool isSeries(int series) { return series >= 0 || series == -15; }
    // The number sent to the device: a series as it is, anything else as all videos.
    static int normalised(int series) { return isSeries(series) ? series : allVideos; }
    // Rows asked for when a view opens: a series whole (up to 999), all videos a first page.
    static int openCount(int series) { return isSeries(series) ? 999 : 100; }
    // The breadcrumb: allText alone for all videos; inside a series a link back to all videos
    // ("video:-1") and one to the series itself ("video:<n>"), joined with " > ".
    static QString breadcrumb(int series, const QString &allText, const QString &seriesText);
};

#endif
