#include "device/deviceurls.h"

// Every arg() below is single-pass: paths arrive percent-encoded ("%20", "%E4") and must not
// be taken for placeholders.

QString DeviceUrls::userQuery(const DeviceUser &user)
{
    if (!user.signedIn)
        return QStringLiteral("&userid=0&username=0");
    return QStringLiteral("&userid=%1&username=%2")
        .arg(QString::number(user.userId), user.userName);
}

QString DeviceUrls::dlnaUrl(const DeviceRecord &device, const QString &opt, const DeviceUser &user)
{
    return QStringLiteral("%1/dlna.csp?fname=dlna&opt=%2&%3")
               .arg(device.serviceOrigin(device.xctl_port), opt,
                    device.relayParameters(device.xctl_port)) +
           userQuery(user);
}

QString DeviceUrls::queryDir(const DeviceRecord &device, const DeviceUser &user,
                             const QString &path, int start, int count)
{
    return QStringLiteral("%1&start=%2&count=%3&path=%4")
        .arg(dlnaUrl(device, QStringLiteral("querydir"), user), QString::number(start),
             QString::number(count), path);
}

QString DeviceUrls::fileList(const DeviceRecord &device, const DeviceUser &user, int type,
                             int start, int count)
{
    return QStringLiteral("%1&type=%2&start=%3&count=%4&sortby=time&sorttype=down&businesstype=1")
        .arg(dlnaUrl(device, QStringLiteral("get"), user), QString::number(type),
             QString::number(start), QString::number(count));
}

QString DeviceUrls::fileData(const DeviceRecord &device, const DeviceUser &user,
                             const QString &path, int order, quint64 size)
{
    return QStringLiteral("%1&order=%2&size=%3&path=%4")
        .arg(dlnaUrl(device, QStringLiteral("getfiledata"), user), QString::number(order),
             QString::number(size), path);
}

QString DeviceUrls::realVideo(const DeviceRecord &device, const DeviceUser &user, int type,
                              int seriesid, int start, int count)
{
    return QStringLiteral(
               "%1&type=%2&start=%3&count=%4&seriesid=%5&sortby=1&sorttype=0&from=0&dpart=")
        .arg(dlnaUrl(device, QStringLiteral("getrealvideo"), user), QString::number(type),
             QString::number(start), QString::number(count), QString::number(seriesid));
}

QString DeviceUrls::deleteFiles(const DeviceRecord &device, const DeviceUser &user,
                                const QString &filelist)
{
    return QStringLiteral("%1&filelist=%2")
        .arg(dlnaUrl(device, QStringLiteral("delfileex"), user), filelist);
}

QString DeviceUrls::usbInfo(const DeviceRecord &device, const DeviceUser &user)
{
    return dlnaUrl(device, QStringLiteral("getusbinfo"), user);
}

QString DeviceUrls::mkdir(const DeviceRecord &device, const DeviceUser &user,
                          const QString &dirpath)
{
    return QStringLiteral(
               "%1/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2&%2&dirpath=%3")
               .arg(device.serviceOrigin(device.xctl_port),
                    device.relayParameters(device.xctl_port), dirpath) +
           userQuery(user);
}

QUrl DeviceUrls::toUrl(const QString &text)
{
    return QUrl(text, QUrl::TolerantMode);
}
