#ifndef KELVORA_DEVICEREPLY_H
#define KELVORA_DEVICEREPLY_H

#include <QByteArray>
#include <QJsonObject>

// The common head of a device's JSON reply: whether the body is a JSON object (read with the
// bounded reader for outside JSON), whether it carries "rtn", and its value. Success is an
// object with the integer "rtn" 0.
class DeviceReply
{
public:
    enum Status
    {
        NotObject,
        NoRtn,
        Failed,
        Ok
    };

    Status status = NotObject;
    // "rtn" as a 32-bit integer (0 when it is not one).
    int rtn = 0;
    QJsonObject object;

    bool ok() const { return status == Ok; }

    static DeviceReply parse(const QByteArray &body);
};

#endif
