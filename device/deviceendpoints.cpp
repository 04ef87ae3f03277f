#include "device/deviceendpoints.h"

#include <QUrl>

QString DeviceEndpoints::deviceManager()
{
    QString base = qEnvironmentVariable("KELVORA_DEVICE_MANAGER").trimmed();
    if (base.isEmpty())
        base = QStringLiteral("http://127.0.0.1:18080");
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

DeviceEndpoints::Target DeviceEndpoints::discoveryTarget()
{
    if (!qEnvironmentVariableIsSet("KELVORA_DISCOVERY_TARGET"))
        return {QHostAddress(QHostAddress::Broadcast), 19000};
    return parseTarget(qEnvironmentVariable("KELVORA_DISCOVERY_TARGET"));
}

DeviceEndpoints::Target DeviceEndpoints::parseTarget(const QString &text)
{
    // A set but broken override must not turn into a broadcast.
    const Target fallback{QHostAddress(QHostAddress::LocalHost), 19000};
    const QString trimmed = text.trimmed();
    const int colon = trimmed.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return fallback;
    QString host = trimmed.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = trimmed.mid(colon + 1).toUInt(&ok);
    QHostAddress address;
    if (!ok || port == 0 || port > 65535 || !address.setAddress(host))
        return fallback;
    return {address, quint16(port)};
}
