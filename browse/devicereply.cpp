#include "browse/devicereply.h"

#include "device/jsonnumbers.h"
#include "device/untrustedjson.h"

DeviceReply DeviceReply::parse(const QByteArray &body)
{
    DeviceReply reply;
    const std::optional<QJsonObject> object = UntrustedJson::parseObject(body);
    if (!object)
        return reply;
    reply.object = *object;
    const QJsonValue rtn = reply.object.value(QLatin1String("rtn"));
    if (rtn.isUndefined()) {
        reply.status = NoRtn;
        return reply;
    }
    reply.rtn = JsonNumbers::toInt(rtn);
    reply.status = rtn.isDouble() && rtn.toDouble() == 0 ? Ok : Failed;
    return reply;
}
