#ifndef KELVORA_POSTERCACHE_H
#define KELVORA_POSTERCACHE_H

#include <QString>

// Names of cached video posters, relative to the data directory:
//   "tmp/<device>/poster/<key>.png"                 a video, by its cache key ("cid" or "fileid")
//   "tmp/<device>/poster/series/<n>_<name>.png"     a series, by its number and name
// Every part is made one safe file-name component (safeDevicePathComponent): whatever a device
// sends as a key ("..", separators, NUL, very long text) the file stays in the device's poster
// folder, and different keys never share a file. Series have a folder of their own, so a video
// key never meets a series' name; the number keeps apart two series of the same name (every
// season's folder may be called "第一季").
class PosterCache
{
public:
    // Empty for an empty key: such a poster is shown but not kept.
    static QString videoPath(const QString &deviceid, const QString &key);
    static QString seriesPath(const QString &deviceid, int seriesId, const QString &name);
};

#endif
