#ifndef KELVORA_BOUNDDEVICEQUERY_H
#define KELVORA_BOUNDDEVICEQUERY_H

#include "device/devicerecord.h"
#include "device/deviceuser.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QString>
#include <QVector>

// The device-management server's list of devices bound to an account: the request and
// the reading of its reply.
class BoundDeviceQuery
{
public:
    // Base URL of the server ("http://host:port", no trailing path) + path and query.
    static QString urlText(const QString &serverBase, quint64 userId);
    // The three headers, in the order they are sent.
    static QList<QPair<QByteArray, QByteArray>> headers(const DeviceUser &user);
    static QNetworkRequest request(const QString &serverBase, const DeviceUser &user);

    // ok false: not JSON, not an object, "ret" missing or not 0 (the rows then stay).
    class Reply
    {
    public:
        bool ok = false;
        QVector<DeviceRecord> devices;
    };
    static Reply parse(const QByteArray &body);
};

#endif
