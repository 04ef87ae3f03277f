#include "device/deviceselection.h"

#include "device/deviceitem.h"
#include "device/devicelistwidget.h"

#include <QCoreApplication>

DeviceItem *DeviceSelection::cardOf(QListWidgetItem *item)
{
    if (!item || !item->listWidget())
        return nullptr;
    return qobject_cast<DeviceItem *>(item->listWidget()->itemWidget(item));
}

DeviceItem *DeviceSelection::resolveCurrent(DeviceListWidget *local, DeviceListWidget *bound,
                                            const QString &deviceid)
{
    if (deviceid.isEmpty())
        return nullptr;
    DeviceItem *boundCard = bound->findDevice(deviceid);
    if (DeviceItem *lanCard = local->findDevice(deviceid)) {
        if (boundCard) {
            lanCard->aliasname = boundCard->aliasname;
            lanCard->updateStatus();
        }
        return lanCard;
    }
    return boundCard;
}

QListWidgetItem *DeviceSelection::restoreTarget(DeviceListWidget *bound, const QString &storedId)
{
    if (bound->count() == 0)
        return nullptr;
    for (int row = 0; !storedId.isEmpty() && row < bound->count(); ++row) {
        DeviceItem *card = bound->deviceAt(row);
        if (card && card->deviceid == storedId)
            return bound->item(row);
    }
    return bound->item(0);
}

QString DeviceSelection::nameText(const DeviceItem *device)
{
    return device->aliasname + (device->onlinestatus
                                    ? QCoreApplication::translate("MainWidget", "（在线）")
                                    : QCoreApplication::translate("MainWidget", "（离线）"));
}
