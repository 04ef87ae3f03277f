#include "devicefuzzers.h"

#include "device/bounddevicequery.h"

void fuzzBoundDeviceReply(const QByteArray &body)
{
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
}

KELVORA_FUZZ_TARGET(fuzzBoundDeviceReply)
