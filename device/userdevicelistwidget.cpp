#include "device/userdevicelistwidget.h"

#include "app/networkmanager.h"
#include "device/bounddevicequery.h"
#include "device/devicehost.h"
#include "device/deviceitem.h"
#include "device/replyholder.h"
#include "platform/endpoints.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

UserDeviceListWidget::UserDeviceListWidget(QWidget *parent) : DeviceListWidget(parent) {}

void UserDeviceListWidget::LoadDevices()
{
    const DeviceUser user = host() ? host()->user() : DeviceUser();
    if (!user.signedIn)
        return;
    QNetworkReply *reply =
        networkManager()->get(BoundDeviceQuery::request(deviceManagerUrl(), user));
    loads.append(reply);
    const QString sessionId = user.sessionId;
    ReplyHolder::handleOnce(reply, this, [this, sessionId](QNetworkReply *r) {
        loads.removeAll(r);
        OnDevicesReply(r, sessionId);
    });
}

bool UserDeviceListWidget::isLoading() const
{
    for (const QPointer<QNetworkReply> &reply : loads) {
        if (reply)
            return true;
    }
    return false;
}

void UserDeviceListWidget::abortLoads()
{
    const QList<QPointer<QNetworkReply>> pending = loads;
    loads.clear();
    for (QNetworkReply *reply : pending)
        ReplyHolder::abortAndRelease(reply);
}

void UserDeviceListWidget::clearDevices()
{
    for (int row = 0; row < count(); ++row) {
        if (DeviceItem *device = deviceAt(row))
            device->deleteLater();
    }
    clear();
}

void UserDeviceListWidget::OnDevicesReply(QNetworkReply *reply, const QString &sessionId)
{
    // An answer for a session that is over (signed out, or another account signed in since)
    // belongs to nobody.
    const DeviceUser user = host() ? host()->user() : DeviceUser();
    if (!user.signedIn || user.sessionId != sessionId)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        host()->showError(tr("加载设备列表失败: %1").arg(reply->errorString()));
        return;
    }
    const BoundDeviceQuery::Reply result = BoundDeviceQuery::parse(reply->readAll());
    if (!result.ok)
        return;

    clearDevices();
    for (DeviceRecord record : result.devices) {
        record.isLocal = false;
        appendCard(record);
    }
    emit finished();
}
