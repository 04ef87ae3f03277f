#pragma once

#include "device/devicerecord.h"
#include "tests/support/labprocess.h"

// The record of a lab device as the client keeps it: on the LAN it is reached at its own
// ports, bound through the relay.
inline DeviceRecord labDevice(const LabProcess &lab, const QString &id, bool relay)
{
    const QJsonObject d = lab.device(id);
    DeviceRecord r;
    r.deviceid = id;
    r.isLocal = !relay;
    r.intraip = r.serverip = QStringLiteral("127.0.0.1");
    r.serverport = quint16(lab.relayPort());
    r.xctl_port = quint16(d.value(QLatin1String("xctl_port")).toInt());
    r.mps_port = quint16(d.value(QLatin1String("mps_port")).toInt());
    r.http_port = quint16(d.value(QLatin1String("http_port")).toInt());
    return r;
}

// KELVORA_DISCOVERY_TARGET aimed at the discovery service of one lab device.
inline void answerDiscoveryFrom(const LabProcess &lab, const QString &id)
{
    qputenv("KELVORA_DISCOVERY_TARGET",
            "127.0.0.1:" +
                QByteArray::number(lab.device(id).value(QLatin1String("discovery_port")).toInt()));
}
