#pragma once

#include "device/devicehost.h"
#include "device/deviceitem.h"

#include <QList>

// Stands in for the main window where the device cards and file lists ask for it: the user,
// the current device (or only its id) and the toast parent are what a test sets. With `follow`
// set, the current device and the toast parent are another host's, such as a real window's.
// Collects the network errors the device requests report.
class StandInHost : public DeviceHost
{
public:
    StandInHost()
    {
        connect(this, &DeviceHost::networkError, this,
                [this](QNetworkReply::NetworkError code) { errors.append(code); });
    }

    void signIn(quint64 userId, const QString &name, const QString &session)
    {
        signedIn.signedIn = true;
        signedIn.userId = userId;
        signedIn.userName = name;
        signedIn.sessionId = session;
    }
    DeviceUser user() const override { return signedIn; }
    DeviceItem *currentDevice() const override
    {
        return follow ? follow->currentDevice() : current;
    }
    QString currentDeviceId() const override
    {
        if (follow)
            return follow->currentDeviceId();
        return current ? current->deviceid : currentId;
    }
    QWidget *toastParent() const override { return follow ? follow->toastParent() : window; }

    DeviceUser signedIn;
    DeviceItem *current = nullptr;
    QString currentId;
    QWidget *window = nullptr;
    const DeviceHost *follow = nullptr;
    QList<QNetworkReply::NetworkError> errors;
};
