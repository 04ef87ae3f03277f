#include "browse/thumbcache.h"

#include "device/devicepath.h"

#include <QStringList>

QString ThumbCache::deviceFolder(const QString &deviceid)
{
    return QStringLiteral("tmp/") + safeDevicePathComponent(deviceid);
}

QString ThumbCache::relativePath(const QString &deviceid, const QString &devicePath)
{
    QStringList parts;
    for (const QString &segment : devicePath.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        parts.append(safeDevicePathComponent(segment));
    if (parts.isEmpty())
        return QString();
    // Components hold no literal dot: the suffix keeps a picture's cache file apart from the
    // cache folder of a device folder with the same name.
    return deviceFolder(deviceid) + QStringLiteral("/thumb/") + parts.join(QLatin1Char('/')) +
           QStringLiteral(".png");
}
