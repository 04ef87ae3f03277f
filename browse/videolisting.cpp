#include "browse/videolisting.h"

#include "browse/filepaths.h"
#include "device/jsonnumbers.h"

#include <QJsonArray>

namespace {

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

int countOf(const QJsonValue &value)
{
    if (value.isString()) {
        bool ok = false;
        const int number = value.toString().trimmed().toInt(&ok, 10);
        return ok ? qMax(0, number) : 0;
    }
    return qMax(0, JsonNumbers::toInt(value));
}

VideoRow videoRow(const QJsonObject &element)
{
    VideoRow row;
    row.path = FilePaths::decode(text(element, "filepath"));
    row.name = FilePaths::decode(text(element, "videoname"));
    if (row.name.isEmpty())
        row.name = FilePaths::fileName(row.path);
    row.size = JsonNumbers::toSize(element.value(QLatin1String("filesize")));
    row.time =
        QDateTime::fromSecsSinceEpoch(JsonNumbers::toInt(element.value(QLatin1String("time"))));
    row.posterKey = text(element, "cid");
    if (row.posterKey.isEmpty())
        row.posterKey = text(element, "fileid");
    row.posterUrl = text(element, "imgpath");
    return row;
}

VideoRow seriesRow(const QJsonObject &element)
{
    VideoRow row;
    row.isSeries = true;
    row.seriesId = JsonNumbers::toInt(element.value(QLatin1String("seriesid")));
    row.seriesName = FilePaths::decode(text(element, "seriesname"));
    row.fileCount = countOf(element.value(QLatin1String("filecount")));
    row.posterUrl = text(element, "imagepath");
    return row;
}

} // namespace

VideoListing VideoListing::parse(const QByteArray &body, int limit)
{
    VideoListing listing;
    const DeviceReply reply = DeviceReply::parse(body);
    listing.status = reply.status;
    listing.rtn = reply.rtn;
    if (!reply.ok())
        return listing;
    // The device's own spelling of the key; a count sent as a number is read as well.
    listing.total = countOf(reply.object.value(QLatin1String("videototle")));
    const QJsonArray list = reply.object.value(QLatin1String("videolist")).toArray();
    for (const QJsonValue &value : list) {
        if (listing.rows.size() >= limit)
            break;
        // Something that is not an object describes neither a video nor a series.
        if (!value.isObject())
            continue;
        const QJsonObject element = value.toObject();
        const bool single = JsonNumbers::toInt(element.value(QLatin1String("type"))) == 1;
        listing.rows.append(single ? videoRow(element) : seriesRow(element));
    }
    return listing;
}
