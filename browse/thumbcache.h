#ifndef KELVORA_THUMBCACHE_H
#define KELVORA_THUMBCACHE_H

#include <QString>

// Names of cached thumbnails: "tmp/<device>/thumb/<path>" below the data directory, where
// <device> is the device identifier and <path> the device path, each segment made one safe
// file-name component (percent-encoded; "." and ".." and every separator encoded; long
// segments shortened with a digest), then ".png". Device-supplied names therefore never lead
// out of the device's folder, whatever they hold ("..", encoded or not, absolute paths,
// backslashes, NUL), two device paths never share a name, and a cached picture never takes
// the name of a cached folder. The files hold PNG data.
class ThumbCache
{
public:
    // Relative to the data directory; empty for a path without a single name in it.
    static QString relativePath(const QString &deviceid, const QString &devicePath);
    // The folder every thumbnail of the device lies in.
    static QString deviceFolder(const QString &deviceid);
};

#endif
