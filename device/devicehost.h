#ifndef KELVORA_DEVICEHOST_H
#define KELVORA_DEVICEHOST_H

#include "device/deviceuser.h"

#include <QNetworkReply>
#include <QObject>
#include <QString>

class DeviceItem;
class QWidget;

// What the device cards and lists need from the window that holds them: the signed-in user,
// the current device and the widget toasts appear over. The window hands one host to both
// lists, which hand it on to every card they create; errors of the device requests come out of
// networkError(). Without a host a card acts for nobody: no user, no current device, no toast,
// no error report.
class DeviceHost : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual DeviceUser user() const { return DeviceUser(); }
    virtual DeviceItem *currentDevice() const { return nullptr; }
    virtual QString currentDeviceId() const { return QString(); }
    virtual QWidget *toastParent() const { return nullptr; }

    // An error toast over toastParent(), 2000 ms, no close button.
    void showError(const QString &text) const;

signals:
    // A device request that reports its errors failed.
    void networkError(QNetworkReply::NetworkError code);
};

#endif
