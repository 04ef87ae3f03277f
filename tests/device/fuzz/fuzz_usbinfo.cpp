#include "devicefuzzers.h"

#include "device/usbinfo.h"

void fuzzUsbInfo(const QByteArray &body)
{
    const auto info = UsbInfo::parse(body);
    if (!info)
        return;
    if (info->freeSpace() > info->total)
        __builtin_trap();
    quint64 largest = 0;
    for (const UsbInfo::Partition &partition : info->partitions)
        largest = qMax(largest, partition.size);
    if (info->total < largest)
        __builtin_trap();
    if (info->sizeText().isEmpty())
        __builtin_trap();
}

KELVORA_FUZZ_TARGET(fuzzUsbInfo)
