#include "device/discoveryanswer.h"

#include "device/jsonnumbers.h"
#include "device/untrustedjson.h"

#include <QJsonObject>

QByteArray DiscoveryAnswer::request()
{
    return QByteArrayLiteral("{\"type\":0,\"seq\":1}");
}

std::optional<DiscoveryAnswer> DiscoveryAnswer::parse(const QByteArray &payload)
{
    const std::optional<QJsonObject> parsed = UntrustedJson::parseObject(payload, maxBytes);
    if (!parsed)
        return std::nullopt;
    const QJsonObject &object = *parsed;
    for (const char *key : {"id", "ip", "xctl_port", "mps_port", "http_port"}) {
        if (!object.contains(QLatin1String(key)))
            return std::nullopt;
    }
    DiscoveryAnswer answer;
    answer.id = object.value(QLatin1String("id")).toString();
    answer.ip = object.value(QLatin1String("ip")).toString();
    answer.xctl_port = JsonNumbers::toPort(object.value(QLatin1String("xctl_port")));
    answer.mps_port = JsonNumbers::toPort(object.value(QLatin1String("mps_port")));
    answer.http_port = JsonNumbers::toPort(object.value(QLatin1String("http_port")));
    return answer;
}
