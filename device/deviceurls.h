#ifndef KELVORA_DEVICEURLS_H
#define KELVORA_DEVICEURLS_H

#include "device/devicerecord.h"
#include "device/deviceuser.h"

#include <QString>
#include <QUrl>

// URL texts of the device's query API. Values go out as written and toUrl() lets the URL class
// encode what a URL cannot carry; only the device id and the user name, which come from
// outside, are kept from adding parameters of their own (see queryValue).
class DeviceUrls
{
public:
    static QString userQuery(const DeviceUser &user);
    // A value that stays one value: '%', '&', '#', '+' and ';' are percent-encoded, everything
    // else is left as it is (ordinary ids and names come back byte-identical).
    static QString queryValue(const QString &value);

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
