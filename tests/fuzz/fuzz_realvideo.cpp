#include "fuzzers.h"

#include "browse/postercache.h"
#include "browse/videolisting.h"
#include "browse/videoplayback.h"
#include "device/devicerecord.h"

#include <QSet>

void fuzzRealVideo(const QByteArray &body)
{
    const int limit = 6;
    const VideoListing listing = VideoListing::parse(body, limit);
    FUZZ_CHECK(listing.ok() || listing.rows.isEmpty());
    FUZZ_CHECK(listing.total >= 0 && listing.rows.size() <= limit);
    DeviceRecord device;
    device.isLocal = true;
    device.intraip = QStringLiteral("127.0.0.1");
    device.http_port = 18083;
    const QString folder = QStringLiteral("tmp/%2E%2E/poster/");
    QHash<QString, QString> keyOf; // cache file -> the key it stands for
    for (const VideoRow &row : listing.rows) {
        // Whatever the device names, a poster stays in the device's poster folder, and two
        // keys never share a file.
        const QString key = row.isSeries ? QStringLiteral("S%1_").arg(row.seriesId) + row.seriesName
                                         : QStringLiteral("V") + row.posterKey;
        const QString name =
            row.isSeries
                ? PosterCache::seriesPath(QStringLiteral(".."), row.seriesId, row.seriesName)
                : PosterCache::videoPath(QStringLiteral(".."), row.posterKey);
        if (!name.isEmpty()) {
            FUZZ_CHECK(name.startsWith(folder) && name.endsWith(QStringLiteral(".png")));
            QString rest = name.mid(folder.size());
            rest.chop(4);
            if (row.isSeries)
                FUZZ_CHECK(rest.startsWith(QStringLiteral("series/")) &&
                           isSafePathComponent(rest.mid(7)));
            else
                FUZZ_CHECK(isSafePathComponent(rest));
            FUZZ_CHECK(!keyOf.contains(name) || keyOf.value(name) == key);
            keyOf.insert(name, key);
        }
        if (row.isSeries)
            continue;
        // The player's one argument is a URL on the device, with nothing after the path.
        const QString url = VideoPlayback::streamUrl(device, row.path);
        FUZZ_CHECK(url.startsWith(QStringLiteral("http://127.0.0.1:18083/")));
        for (const QChar c : url)
            FUZZ_CHECK(c > QLatin1Char(' ') && c < QChar(0x7f) && c != QLatin1Char('#') &&
                       c != QLatin1Char('?') && c != QLatin1Char('"') && c != QLatin1Char('\''));
    }
}

KELVORA_FUZZ_TARGET(fuzzRealVideo)
