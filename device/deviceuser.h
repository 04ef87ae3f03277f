#ifndef KELVORA_DEVICEUSER_H
#define KELVORA_DEVICEUSER_H

#include <QString>
#include <QtGlobal>

// The signed-in user as the device requests see it; signedIn false when nobody is.
class DeviceUser
{
public:
    bool signedIn = false;
    quint64 userId = 0;
    QString userName;
    QString sessionId;
};

#endif
