#include "app/windowdevicehost.h"

#include "account/useridentity.h"
#include "app/mainwidget.h"

WindowDeviceHost::WindowDeviceHost(MainWidget *window) : DeviceHost(window), window(window) {}

DeviceUser WindowDeviceHost::user() const
{
    DeviceUser user;
    if (const UserIdentity *id = window->userIdentity()) {
        user.signedIn = true;
        user.userId = id->userId;
        user.userName = id->userName;
        user.sessionId = id->sessionId;
    }
    return user;
}

DeviceItem *WindowDeviceHost::currentDevice() const
{
    return window->currentDevice();
}

QString WindowDeviceHost::currentDeviceId() const
{
    return window->currentDeviceId();
}

QWidget *WindowDeviceHost::toastParent() const
{
    return window;
}
