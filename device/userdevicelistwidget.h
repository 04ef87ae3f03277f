#ifndef KELVORA_USERDEVICELISTWIDGET_H
#define KELVORA_USERDEVICELISTWIDGET_H

#include "device/devicelistwidget.h"

#include <QList>
#include <QPointer>

class QNetworkReply;

// The devices bound to the signed-in account, one card per device, as the device-management
// server lists them.
class UserDeviceListWidget : public DeviceListWidget
{
    Q_OBJECT

public:
    explicit UserDeviceListWidget(QWidget *parent = nullptr);

    // Sends the query; nothing without a signed-in user. Several loads may overlap: each
    // reply is handled on its own and the last successful one wins. A reply is used only while
    // the session it was asked for is still the host's.
    void LoadDevices();
    bool isLoading() const;
    // Drops every load in flight unanswered (sign-out).
    void abortLoads();
    // Removes every row and its card.
    void clearDevices();

signals:
    void finished();

private:
    void OnDevicesReply(QNetworkReply *reply, const QString &sessionId);

    QList<QPointer<QNetworkReply>> loads;
};

#endif
