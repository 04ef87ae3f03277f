#include "device/devicehost.h"

#include "app/messagebox.h"
#include "device/deviceitem.h"

#include <QPointer>
#include <QWidget>

namespace {

std::function<DeviceUser()> &userSource()
{
    static std::function<DeviceUser()> source;
    return source;
}

std::function<DeviceItem *()> &currentDeviceSource()
{
    static std::function<DeviceItem *()> source;
    return source;
}

QPointer<QObject> &receiver()
{
    static QPointer<QObject> object;
    return object;
}

QPointer<QWidget> &hostWindow()
{
    static QPointer<QWidget> widget;
    return widget;
}

} // namespace

DeviceUser DeviceHost::user()
{
    return userSource() ? userSource()() : DeviceUser();
}

DeviceItem *DeviceHost::currentDevice()
{
    return currentDeviceSource() ? currentDeviceSource()() : nullptr;
}

QObject *DeviceHost::errorReceiver()
{
    return receiver().data();
}

QWidget *DeviceHost::window()
{
    return hostWindow().data();
}

void DeviceHost::showError(const QString &text)
{
    MessageBox::showMessage(Error, text, window(), false, 2000);
}

void DeviceHost::setUserSource(std::function<DeviceUser()> source)
{
    userSource() = std::move(source);
}

void DeviceHost::setCurrentDeviceSource(std::function<DeviceItem *()> source)
{
    currentDeviceSource() = std::move(source);
}

void DeviceHost::setErrorReceiver(QObject *object)
{
    receiver() = object;
}

void DeviceHost::setWindow(QWidget *widget)
{
    hostWindow() = widget;
}

void DeviceHost::reset()
{
    userSource() = nullptr;
    currentDeviceSource() = nullptr;
    receiver() = nullptr;
    hostWindow() = nullptr;
}
