#include "fuzzers.h"

#include "device/usbinfo.h"

void fuzzUsbInfo(const QByteArray &body)
{
    const auto info = UsbInfo::parse(body);
    if (!info)
        return;
    FUZZ_CHECK(info->freeSpace() <= info->total);
    quint64 largest = 0;
    for (const UsbInfo::Partition &partition : info->partitions)
        largest = qMax(largest, partition.size);
    FUZZ_CHECK(info->total >= largest);
    FUZZ_CHECK(!info->sizeText().isEmpty());
}

KELVORA_FUZZ_TARGET(fuzzUsbInfo)
