#ifndef KELVORA_DEVICEENDPOINTS_H
#define KELVORA_DEVICEENDPOINTS_H

#include <QHostAddress>
#include <QString>

// Where the device side of the client talks to: each has a built-in default and an
// environment override (tests and scripts keep everything on loopback).
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
    // KELVORA_DISCOVERY_TARGET as "host:port", default 255.255.255.255:19000. A value that
    // does not parse falls back to the default port on loopback, never to a broadcast.
    static Target discoveryTarget();
    static Target parseTarget(const QString &text);
};

#endif
