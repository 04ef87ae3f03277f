#include "browse/partitionnames.h"

#include "device/usbinfo.h"

QMap<QString, QString> &partitionNames()
{
    static QMap<QString, QString> table;
    return table;
}

bool readPartitionNames(const QByteArray &body, QMap<QString, QString> *table)
{
    const auto info = UsbInfo::parse(body);
    if (!info)
        return false;
    table->clear();
    for (const UsbInfo::Partition &partition : info->partitions) {
        // Every path starts with the empty one: such a key would rename every path shown.
        if (partition.path.isEmpty())
            continue;
        table->insert(partition.path, partition.name.isEmpty() ? partition.letter : partition.name);
    }
    return true;
}
