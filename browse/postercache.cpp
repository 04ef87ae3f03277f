#include "browse/postercache.h"

#include "browse/thumbcache.h"
#include "device/devicepath.h"

namespace {

QString posterFolder(const QString &deviceid)
{
    return ThumbCache::deviceFolder(deviceid) + QStringLiteral("/poster/");
}

} // namespace

QString PosterCache::videoPath(const QString &deviceid, const QString &key)
{
    if (key.isEmpty())
        return QString();
    return posterFolder(deviceid) + safeDevicePathComponent(key) + QStringLiteral(".png");
}

QString PosterCache::seriesPath(const QString &deviceid, int seriesId, const QString &name)
{
    // A number holds no "_": the first one ends it, so number and name come apart again.
    return posterFolder(deviceid) + QStringLiteral("series/") +
           safeDevicePathComponent(QString::number(seriesId) + QLatin1Char('_') + name) +
           QStringLiteral(".png");
}
