#include "device/devicerecord.h"

#include "device/deviceurls.h"

QString DeviceRecord::routeHost() const
{
    return isLocal ? intraip : serverip;
}

quint16 DeviceRecord::routePort(quint16 servicePort) const
{
    return isLocal ? servicePort : serverport;
}

// Single-pass arg(): an identifier or address holding "%1" must not be substituted again.
QString DeviceRecord::serviceOrigin(quint16 servicePort) const
{
    return QStringLiteral("http://%1:%2").arg(routeHost(), QString::number(routePort(servicePort)));
}

QString DeviceRecord::relayParameters(quint16 servicePort) const
{
    return QStringLiteral("x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2")
        .arg(DeviceUrls::queryValue(deviceid), QString::number(servicePort));
}

QString DeviceRecord::fallbackName(const QString &deviceid)
{
    return deviceid.mid(14, 4);
}
