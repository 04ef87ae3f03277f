#include "browse/devicereply.h"

#include "device/jsonnumbers.h"

#include <QJsonDocument>
#include <QJsonParseError>

DeviceReply DeviceReply::parse(const QByteArray &body)
{
    DeviceReply reply;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return reply;
    reply.object = document.object();
    const QJsonValue rtn = reply.object.value(QLatin1String("rtn"));
    if (rtn.isUndefined()) {
        reply.status = NoRtn;
        return reply;
    }
    reply.rtn = JsonNumbers::toInt(rtn);
    reply.status = rtn.isDouble() && rtn.toDouble() == 0 ? Ok : Failed;
    return reply;
}
