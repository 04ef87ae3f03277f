#ifndef KELVORA_WINDOWDEVICEHOST_H
#define KELVORA_WINDOWDEVICEHOST_H

#include "device/devicehost.h"

class MainWidget;

// The main window as the device cards see it: its signed-in identity, its current device, and
// itself as the parent of their toasts.
class WindowDeviceHost : public DeviceHost
{
    Q_OBJECT

public:
    explicit WindowDeviceHost(MainWidget *window);

    DeviceUser user() const override;
    DeviceItem *currentDevice() const override;
    QString currentDeviceId() const override;
    QWidget *toastParent() const override;

private:
    MainWidget *window;
};

#endif
