#include "device/userdevicelistwidget.h"

#include "app/networkmanager.h"
#include "device/bounddevicequery.h"
#include "device/devicehost.h"
#include "device/deviceitem.h"
#include "device/replyholder.h"
#include "platform/endpoints.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

UserDeviceListWidget::UserDeviceListWidget(QWidget *parent) : QListWidget(parent)
{
    DeviceItem::setupCardList(this);
}

void UserDeviceListWidget::LoadDevices()
{
    const DeviceUser user = DeviceHost::user();
    if (!user.signedIn)
        return;
    QNetworkReply *reply =
        networkManager()->get(BoundDeviceQuery::request(deviceManagerUrl(), user));
    ReplyHolder::handleOnce(reply, this, [this](QNetworkReply *r) { OnDevicesReply(r); });
}

DeviceItem *UserDeviceListWidget::deviceAt(int row) const
{
    return qobject_cast<DeviceItem *>(itemWidget(item(row)));
}

DeviceItem *UserDeviceListWidget::findDevice(const QString &deviceid) const
{
    for (int row = 0; row < count(); ++row) {
        DeviceItem *device = deviceAt(row);
        if (device && device->deviceid == deviceid)
            return device;
    }
    return nullptr;
}

void UserDeviceListWidget::clearDevices()
{
    for (int row = 0; row < count(); ++row) {
        if (DeviceItem *device = deviceAt(row))
            device->deleteLater();
    }
    clear();
}

void UserDeviceListWidget::OnDevicesReply(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError) {
        DeviceHost::showError(tr("加载设备列表失败: %1").arg(reply->errorString()));
        return;
    }
    const BoundDeviceQuery::Reply result = BoundDeviceQuery::parse(reply->readAll());
    if (!result.ok)
        return;

    clearDevices();
    setStyleSheet(result.devices.isEmpty()
                      ? QStringLiteral("QListWidget{background-image:url(:/image/empty.png);"
                                       "background-repeat:none;background-position:center;}")
                      : QStringLiteral("QListWidget{background:#fff;}"));
    for (const DeviceRecord &record : result.devices) {
        auto *row = new QListWidgetItem(this);
        auto *device = new DeviceItem(this);
        device->setRecord(record);
        device->isLocal = false;
        device->updateStatus();
        row->setSizeHint(device->size());
        setItemWidget(row, device);
    }
    emit finished();
}
