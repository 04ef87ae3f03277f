#include "device/deviceselection.h"

#include "device/deviceitem.h"

#include <QCoreApplication>
#include <QListWidget>

DeviceItem *DeviceSelection::cardOf(QListWidgetItem *item)
{
    if (!item || !item->listWidget())
        return nullptr;
    return qobject_cast<DeviceItem *>(item->listWidget()->itemWidget(item));
}

DeviceItem *DeviceSelection::findCard(QListWidget *list, const QString &deviceid)
{
    if (!list)
        return nullptr;
    for (int row = 0; row < list->count(); ++row) {
        DeviceItem *card = cardOf(list->item(row));
        if (card && card->deviceid == deviceid)
            return card;
    }
    return nullptr;
}

DeviceItem *DeviceSelection::markChosen(QListWidgetItem *item)
{
    QListWidget *list = item ? item->listWidget() : nullptr;
    if (!list)
        return nullptr;
    DeviceItem *chosen = nullptr;
    for (int row = 0; row < list->count(); ++row) {
        DeviceItem *card = cardOf(list->item(row));
        if (!card)
            continue;
        const bool on = list->item(row) == item;
        card->setSelected(on);
        if (on)
            chosen = card;
    }
    return chosen;
}

DeviceItem *DeviceSelection::resolveCurrent(QListWidget *local, QListWidget *bound,
                                            const QString &deviceid)
{
    if (deviceid.isEmpty())
        return nullptr;
    DeviceItem *boundCard = findCard(bound, deviceid);
    if (DeviceItem *lanCard = findCard(local, deviceid)) {
        if (boundCard) {
            lanCard->aliasname = boundCard->aliasname;
            lanCard->updateStatus();
        }
        return lanCard;
    }
    return boundCard;
}

QListWidgetItem *DeviceSelection::restoreTarget(QListWidget *bound, const QString &storedId)
{
    if (!bound || bound->count() == 0)
        return nullptr;
    if (!storedId.isEmpty()) {
        for (int row = 0; row < bound->count(); ++row) {
            DeviceItem *card = cardOf(bound->item(row));
            if (card && card->deviceid == storedId)
                return bound->item(row);
        }
    }
    return bound->item(0);
}

QString DeviceSelection::nameText(const DeviceItem *device)
{
    return device->aliasname + (device->onlinestatus
                                    ? QCoreApplication::translate("MainWidget", "（在线）")
                                    : QCoreApplication::translate("MainWidget", "（离线）"));
}
