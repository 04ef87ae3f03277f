#ifndef KELVORA_DEVICEENDPOINTS_H
#define KELVORA_DEVICEENDPOINTS_H

#include <QHostAddress>
#include <QString>

// Where the device side of the client talks to, over the platform layer's endpoints.
class DeviceEndpoints
{
public:
    // KELVORA_DEVICE_MANAGER, default "http://127.0.0.1:18080", without a trailing "/".
    static QString deviceManager();

    class Target
    {
    public:
        QHostAddress address;
        quint16 port = 0;
    };
    // KELVORA_DISCOVERY_TARGET as "host:port", default 255.255.255.255:19000. An override
    // that is set but does not parse gives loopback port 19000: a typo never broadcasts.
    static Target discoveryTarget();
};

#endif
