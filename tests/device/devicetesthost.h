#ifndef KELVORA_TEST_DEVICETESTHOST_H
#define KELVORA_TEST_DEVICETESTHOST_H

#include "device/devicehost.h"

#include <QNetworkReply>
#include <QObject>
#include <QWidget>

// Stands in for the main window in the device tests: it counts network errors and can be
// given a user and a current device.
class DeviceTestHost : public QObject
{
    Q_OBJECT

public:
    DeviceTestHost()
    {
        DeviceHost::setErrorReceiver(this);
        DeviceHost::setWindow(&window);
        DeviceHost::setUserSource([this]() { return user; });
        DeviceHost::setCurrentDeviceSource([this]() { return current; });
        window.resize(400, 300);
    }
    ~DeviceTestHost() override { DeviceHost::reset(); }

    void signIn(quint64 userId, const QString &name, const QString &session)
    {
        user.signedIn = true;
        user.userId = userId;
        user.userName = name;
        user.sessionId = session;
    }

    DeviceUser user;
    DeviceItem *current = nullptr;
    QWidget window;
    QList<QNetworkReply::NetworkError> errors;

public slots:
    void networkError(QNetworkReply::NetworkError code) { errors.append(code); }
};

#endif
