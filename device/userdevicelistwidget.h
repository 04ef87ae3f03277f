#ifndef KELVORA_USERDEVICELISTWIDGET_H
#define KELVORA_USERDEVICELISTWIDGET_H

#include <QListWidget>

class DeviceItem;
class QNetworkReply;

// The devices bound to the signed-in account, one card per device, as the device-management
// server lists them.
class UserDeviceListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit UserDeviceListWidget(QWidget *parent = nullptr);

    // Sends the query; nothing without a signed-in user. Several loads may overlap: each
    // reply is handled on its own and the last successful one wins.
    void LoadDevices();

    // The card of a row, or null.
    DeviceItem *deviceAt(int row) const;
    DeviceItem *findDevice(const QString &deviceid) const;
    // Removes every row and its card.
    void clearDevices();

signals:
    void finished();

private:
    void OnDevicesReply(QNetworkReply *reply);
};

#endif
