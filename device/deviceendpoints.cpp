#include "device/deviceendpoints.h"

#include "platform/endpoints.h"

QString DeviceEndpoints::deviceManager()
{
    return deviceManagerUrl();
}

DeviceEndpoints::Target DeviceEndpoints::discoveryTarget()
{
    const QString value = qEnvironmentVariable("KELVORA_DISCOVERY_TARGET");
    if (value.isEmpty()) {
        const DiscoveryTarget target = ::discoveryTarget();
        return {target.address, target.port};
    }
    DiscoveryTarget target;
    if (!parseDiscoveryTarget(value, &target))
        return {QHostAddress(QHostAddress::LocalHost), 19000};
    return {target.address, target.port};
}
