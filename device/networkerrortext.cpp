#include "device/networkerrortext.h"

#include <QCoreApplication>

QString networkErrorText(QNetworkReply::NetworkError code)
{
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
        return QCoreApplication::translate("MainWidget", "连接被拒绝，请检查设备是否在线");
    case QNetworkReply::TimeoutError:
        return QCoreApplication::translate("MainWidget", "连接超时");
    default:
        return QString();
    }
}
