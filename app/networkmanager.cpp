#include "app/networkmanager.h"

#include <QNetworkAccessManager>

QNetworkAccessManager *networkManager()
{
    // Deliberately leaked: replies may still reference it while static objects are torn down.
    static QNetworkAccessManager *manager = new QNetworkAccessManager;
    return manager;
}
