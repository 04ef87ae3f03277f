#include "devicefuzzers.h"

#include "device/usbinfo.h"

int fuzzUsbInfo(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    const auto info = UsbInfo::parse(body);
    if (!info)
        return 0;
    if (info->freeSpace() > info->total)
        __builtin_trap();
    quint64 largest = 0;
    for (const UsbInfo::Partition &partition : info->partitions)
        largest = qMax(largest, partition.size);
    if (info->total < largest)
        __builtin_trap();
    if (info->sizeText().isEmpty())
        __builtin_trap();
    return 0;
}

#ifdef KELVORA_FUZZ_ENTRY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzUsbInfo(data, size);
}
#endif
