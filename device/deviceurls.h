#ifndef KELVORA_DEVICEURLS_H
#define KELVORA_DEVICEURLS_H

#include "device/devicerecord.h"
#include "device/deviceuser.h"

#include <QString>
#include <QUrl>

// URL texts of the device's query API. Nothing is encoded here: the texts go out as
// written and toUrl() lets the URL class encode what a URL cannot carry.
class DeviceUrls
{
public:
    static QString userQuery(const DeviceUser &user);

    static QString dlnaUrl(const DeviceRecord &device, const QString &opt, const DeviceUser &user);
    static QString queryDir(const DeviceRecord &device, const DeviceUser &user, const QString &path,
                            int start, int count);
    static QString fileList(const DeviceRecord &device, const DeviceUser &user, int type, int start,
                            int count);
    static QString fileData(const DeviceRecord &device, const DeviceUser &user, const QString &path,
                            int order, quint64 size);
    static QString realVideo(const DeviceRecord &device, const DeviceUser &user, int type,
                             int seriesid, int start, int count);
    static QString deleteFiles(const DeviceRecord &device, const DeviceUser &user,
                               const QString &filelist);
    static QString usbInfo(const DeviceRecord &device, const DeviceUser &user);
    static QString mkdir(const DeviceRecord &device, const DeviceUser &user,
                         const QString &dirpath);

    // Tolerant parsing keeps the query as written.
    static QUrl toUrl(const QString &text);
};

#endif
