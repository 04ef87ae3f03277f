// The signed-in identity the main window keeps while a user is signed in.
#ifndef USERIDENTITY_H
#define USERIDENTITY_H

#include <QString>
#include <QtGlobal>

struct UserIdentity
{
    quint64 userId = 0;
    QString userName;
    QString sessionId;
};

#endif // USERIDENTITY_H
