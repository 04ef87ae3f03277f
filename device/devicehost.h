#ifndef KELVORA_DEVICEHOST_H
#define KELVORA_DEVICEHOST_H

#include "device/deviceuser.h"

#include <QString>
#include <functional>

class DeviceItem;
class QObject;
class QWidget;

// What the device classes need from the window that holds them: the signed-in user, the
// current device, the receiver of network errors and the parent of toasts. The main window
// installs these at construction; tests install their own.
class DeviceHost
{
public:
    static DeviceUser user();
    static DeviceItem *currentDevice();
    // An object with the slot networkError(QNetworkReply::NetworkError), or null.
    static QObject *errorReceiver();
    static QWidget *window();
    // An error toast over the window, 2000 ms, no close button.
    static void showError(const QString &text);

    static void setUserSource(std::function<DeviceUser()> source);
    static void setCurrentDeviceSource(std::function<DeviceItem *()> source);
    static void setErrorReceiver(QObject *receiver);
    static void setWindow(QWidget *window);
    // Drops every installed source (the window going away).
    static void reset();
};

#endif
