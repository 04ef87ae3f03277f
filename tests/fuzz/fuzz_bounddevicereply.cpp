#include "fuzzers.h"

#include "device/bounddevicequery.h"

void fuzzBoundDeviceReply(const QByteArray &body)
{
    const BoundDeviceQuery::Reply reply = BoundDeviceQuery::parse(body);
    FUZZ_CHECK(reply.ok || reply.devices.isEmpty());
    for (const DeviceRecord &device : reply.devices) {
        FUZZ_CHECK(!device.isLocal);
        // A name is never empty when the identifier offers a fallback.
        FUZZ_CHECK(!device.aliasname.isEmpty() || device.deviceid.size() <= 14);
    }
}

KELVORA_FUZZ_TARGET(fuzzBoundDeviceReply)
