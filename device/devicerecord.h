#ifndef KELVORA_DEVICERECORD_H
#define KELVORA_DEVICERECORD_H

#include <QString>
#include <QtGlobal>

// What the client knows about one device. The field names follow the device-management
// server's reply; a card carries one record (never shared between the two lists).
class DeviceRecord
{
public:
    QString deviceid;
    bool isLocal = false;
    QString serverip;
    quint16 serverport = 65535;
    QString intraip;
    quint16 xctl_port = 65535;
    quint16 mps_port = 65535;
    quint16 http_port = 65535;
    bool onlinestatus = false;
    QString aliasname;

    // Address rule: a LAN record is reached directly at its own address on the service
    // port, a bound record always through the relay.
    QString routeHost() const;
    quint16 routePort(quint16 servicePort) const;

    // "http://host:port" for the given service port, by the address rule.
    QString serviceOrigin(quint16 servicePort) const;

    // "x-qm-devid=..&x-qm-pri=1&x-qm-port=.." telling a relay where to forward; the id as a
    // DeviceUrls::queryValue.
    QString relayParameters(quint16 servicePort) const;

    // The name shown when a device has none: 4 characters from index 14 of its identifier,
    // empty for identifiers shorter than 15 characters.
    static QString fallbackName(const QString &deviceid);
};

#endif
