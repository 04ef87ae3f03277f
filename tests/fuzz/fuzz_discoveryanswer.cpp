#include "fuzzers.h"

#include "device/devicepath.h"
#include "device/discoveryanswer.h"

// The identifier comes from any host on the LAN: its folder name must stay one plain component.
void fuzzDiscoveryAnswer(const QByteArray &payload)
{
    const auto answer = DiscoveryAnswer::parse(payload);
    if (answer)
        FUZZ_CHECK(isSafePathComponent(safeDevicePathComponent(answer->id)));
}

KELVORA_FUZZ_TARGET(fuzzDiscoveryAnswer)
