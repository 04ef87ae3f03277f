#include "browse/dirlisting.h"

#include "browse/filepaths.h"
#include "device/jsonnumbers.h"

#include <QJsonArray>

DirListing DirListing::parse(const QByteArray &body, int limit)
{
    DirListing listing;
    const DeviceReply reply = DeviceReply::parse(body);
    listing.status = reply.status;
    listing.rtn = reply.rtn;
    if (!reply.ok())
        return listing;
    listing.total = qMax(0, JsonNumbers::toInt(reply.object.value(QLatin1String("total"))));
    listing.path = reply.object.value(QLatin1String("path")).toString();
    const QJsonArray list = reply.object.value(QLatin1String("filelist")).toArray();
    for (const QJsonValue &value : list) {
        if (listing.entries.size() >= limit)
            break;
        const QJsonObject element = value.toObject();
        FileEntry entry;
        entry.kind = element.value(QLatin1String("attribute")).toString() == QLatin1String("0x01")
                         ? FolderKind
                         : PlainFileKind;
        entry.path = FilePaths::join(listing.path, element.value(QLatin1String("name")).toString());
        entry.size = JsonNumbers::toSize(element.value(QLatin1String("size")));
        entry.time =
            QDateTime::fromSecsSinceEpoch(JsonNumbers::toInt(element.value(QLatin1String("time"))));
        listing.entries.append(entry);
    }
    return listing;
}
