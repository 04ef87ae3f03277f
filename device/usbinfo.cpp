#include "device/usbinfo.h"

#include "device/jsonnumbers.h"
#include "device/untrustedjson.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <limits>

namespace {

// A reply's figures are untrusted: a sum past 64 bits stays at the maximum.
quint64 addSaturated(quint64 a, quint64 b)
{
    return a > std::numeric_limits<quint64>::max() - b ? std::numeric_limits<quint64>::max()
                                                       : a + b;
}

} // namespace

QString formatDiskSize(quint64 bytes)
{
    if (bytes <= 1024)
        return QCoreApplication::translate("DeviceItem", "%1字节").arg(bytes);
    if (bytes <= (quint64(1) << 20))
        return QCoreApplication::translate("DeviceItem", "%1KB").arg(bytes >> 10);
    if (bytes <= (quint64(1) << 30))
        return QCoreApplication::translate("DeviceItem", "%1MB").arg(bytes >> 20);
    return QCoreApplication::translate("DeviceItem", "%1GB").arg(bytes >> 30);
}

QString UsbInfo::sizeText() const
{
    return QCoreApplication::translate("DeviceItem", "%1可用/%2")
        .arg(formatDiskSize(freeSpace()), formatDiskSize(total));
}

std::optional<UsbInfo> UsbInfo::parse(const QByteArray &body)
{
    const std::optional<QJsonObject> parsed = UntrustedJson::parseObject(body);
    if (!parsed)
        return std::nullopt;
    const QJsonObject &object = *parsed;
    const QJsonValue rtn = object.value(QLatin1String("rtn"));
    if (!rtn.isDouble() || rtn.toDouble() != 0)
        return std::nullopt;

    UsbInfo info;
    const QJsonArray disks = object.value(QLatin1String("disklist")).toArray();
    for (const QJsonValue &disk : disks) {
        const QJsonArray parts = disk.toObject().value(QLatin1String("Partitionlist")).toArray();
        for (const QJsonValue &entry : parts) {
            const QJsonObject part = entry.toObject();
            Partition partition;
            partition.name = part.value(QLatin1String("name")).toString();
            partition.letter = part.value(QLatin1String("letter")).toString();
            partition.path = part.value(QLatin1String("path")).toString();
            partition.size = JsonNumbers::toSize(part.value(QLatin1String("size")));
            partition.used = JsonNumbers::toSize(part.value(QLatin1String("used")));
            info.total = addSaturated(info.total, partition.size);
            info.used = addSaturated(info.used, partition.used);
            info.partitions.append(partition);
        }
    }
    return info;
}
