#include "device/bounddevicequery.h"

#include "device/jsonnumbers.h"
#include "device/untrustedjson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>

QString BoundDeviceQuery::urlText(const QString &serverBase, quint64 userId)
{
    QString base = serverBase;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QStringLiteral("/tovrik/user/querydevice?userid=%1&ct=30&v=2&type=0")
                      .arg(QString::number(userId));
}

QList<QPair<QByteArray, QByteArray>> BoundDeviceQuery::headers(const DeviceUser &user)
{
    const QString cookie =
        QStringLiteral("sessionid=%1; userid=%2; clientoperationid=81; platform=windows")
            .arg(user.sessionId, QString::number(user.userId));
    return {{QByteArrayLiteral("Cookie"), cookie.toUtf8()},
            {QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("none")},
            {QByteArrayLiteral("User-Agent"), QByteArrayLiteral("Kelvora Client Win32")}};
}

QNetworkRequest BoundDeviceQuery::request(const QString &serverBase, const DeviceUser &user)
{
    QNetworkRequest request(QUrl(urlText(serverBase, user.userId), QUrl::TolerantMode));
    for (const auto &header : headers(user))
        request.setRawHeader(header.first, header.second);
    return request;
}

BoundDeviceQuery::Reply BoundDeviceQuery::parse(const QByteArray &body)
{
    Reply reply;
    const std::optional<QJsonObject> parsed = UntrustedJson::parseObject(body);
    if (!parsed)
        return reply;
    const QJsonObject &object = *parsed;
    const QJsonValue ret = object.value(QLatin1String("ret"));
    if (!ret.isDouble() || ret.toDouble() != 0)
        return reply;
    reply.ok = true;

    const QJsonArray devices = object.value(QLatin1String("devices")).toArray();
    for (const QJsonValue &entry : devices) {
        const QJsonObject device = entry.toObject();
        DeviceRecord record;
        record.deviceid = device.value(QLatin1String("deviceid")).toString();
        record.aliasname =
            QUrl::fromPercentEncoding(device.value(QLatin1String("aliasname")).toString().toUtf8());
        if (record.aliasname.isEmpty())
            record.aliasname = DeviceRecord::fallbackName(record.deviceid);
        record.serverip = device.value(QLatin1String("serverip")).toString();
        record.serverport = JsonNumbers::toPort(device.value(QLatin1String("serverport")));
        record.intraip = device.value(QLatin1String("intraip")).toString();
        const QJsonObject ports = device.value(QLatin1String("new_port_set")).toObject();
        record.xctl_port = JsonNumbers::toPort(ports.value(QLatin1String("xctl_port")));
        record.mps_port = JsonNumbers::toPort(ports.value(QLatin1String("mps_port")));
        record.http_port = JsonNumbers::toPort(ports.value(QLatin1String("http_port")));
        record.onlinestatus = JsonNumbers::toInt(device.value(QLatin1String("onlinestatus"))) != 0;
        record.isLocal = false;
        reply.devices.append(record);
    }
    return reply;
}
