#include "devicefuzzers.h"

#include "device/devicepath.h"
#include "device/discoveryanswer.h"

void fuzzDiscoveryAnswer(const QByteArray &payload)
{
    const auto answer = DiscoveryAnswer::parse(payload);
    if (!answer)
        return;
    // The identifier comes from any host on the LAN: its folder name must stay one plain
    // component.
    const QString name = safeDevicePathComponent(answer->id);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.size() > 120)
        __builtin_trap();
    for (const QChar c : name) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || c == QLatin1Char('/') ||
            c == QLatin1Char('\\'))
            __builtin_trap();
    }
}

KELVORA_FUZZ_TARGET(fuzzDiscoveryAnswer)
