#ifndef KELVORA_DEVICESELECTION_H
#define KELVORA_DEVICESELECTION_H

#include <QString>

class DeviceItem;
class DeviceListWidget;
class QListWidgetItem;

// The main window's choice of the current device over the two device lists.
class DeviceSelection
{
public:
    // The card of a row, or null.
    static DeviceItem *cardOf(QListWidgetItem *item);

    // The current device: the LAN card when the device answers on the LAN (it then takes the
    // bound card's name and is redrawn), else the bound card, else null.
    static DeviceItem *resolveCurrent(DeviceListWidget *local, DeviceListWidget *bound,
                                      const QString &deviceid);

    // The bound row to make current after a load: the stored device when still bound, else
    // the first row; null for an empty list.
    static QListWidgetItem *restoreTarget(DeviceListWidget *bound, const QString &storedId);

    // deviceNameLabel's text: the name and the on-line mark.
    static QString nameText(const DeviceItem *device);
};

#endif
