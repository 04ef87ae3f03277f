#include "devicefuzzers.h"

#include "device/bounddevicequery.h"

int fuzzBoundDeviceReply(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    const BoundDeviceQuery::Reply reply = BoundDeviceQuery::parse(body);
    if (!reply.ok && !reply.devices.isEmpty())
        __builtin_trap();
    for (const DeviceRecord &device : reply.devices) {
        if (device.isLocal)
            __builtin_trap();
        // A name is never empty when the identifier offers a fallback.
        if (device.aliasname.isEmpty() && device.deviceid.size() > 14)
            __builtin_trap();
    }
    return 0;
}

#ifdef KELVORA_FUZZ_ENTRY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzBoundDeviceReply(data, size);
}
#endif
