#include "browse/albumlisting.h"

#include "device/jsonnumbers.h"

#include <QJsonArray>

AlbumListing AlbumListing::parse(const QByteArray &body, int limit)
{
    AlbumListing listing;
    const DeviceReply reply = DeviceReply::parse(body);
    listing.status = reply.status;
    listing.rtn = reply.rtn;
    if (!reply.ok())
        return listing;
    listing.total = qMax(0, JsonNumbers::toInt(reply.object.value(QLatin1String("total"))));
    const QJsonArray list = reply.object.value(QLatin1String("albumlist")).toArray();
    for (const QJsonValue &value : list) {
        if (listing.entries.size() >= limit)
            break;
        const QJsonObject element = value.toObject();
        FileEntry entry;
        entry.kind = PlainFileKind;
        entry.path = element.value(QLatin1String("path")).toString();
        entry.size = JsonNumbers::toSize(element.value(QLatin1String("size")));
        entry.time =
            QDateTime::fromSecsSinceEpoch(JsonNumbers::toInt(element.value(QLatin1String("time"))));
        listing.entries.append(entry);
    }
    return listing;
}
