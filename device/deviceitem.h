#ifndef KELVORA_DEVICEITEM_H
#define KELVORA_DEVICEITEM_H

#include "device/devicehost.h"
#include "device/devicerecord.h"
#include "device/replyholder.h"

#include <QPointer>
#include <QWidget>

class QNetworkReply;

namespace Ui {
class DeviceItem;
}

// A device card in one of the two device lists. It holds the device record and builds
// every request of the device's query API; the caller keeps and releases the reply. The list
// that creates a card hands it the window's host (user, current device, error reports).
class DeviceItem : public QWidget, public DeviceRecord
{
    Q_OBJECT

public:
    explicit DeviceItem(QWidget *parent = nullptr);
    ~DeviceItem() override;

    bool selected = false;
    QNetworkReply *diskInfoReply = nullptr;

    void setHost(DeviceHost *host) { deviceHost = host; }
    DeviceHost *host() const { return deviceHost; }

    QString dlnaUrl(const QString &opt) const;
    QString userQuery() const;

    QNetworkReply *requestQueryDir(const QString &path, int start, int count);
    QNetworkReply *requestFileList(int type, int start, int count);
    QNetworkReply *requestFileData(const QString &path, int order, quint64 size);
    QNetworkReply *requestRealVideo(int type, int seriesid, int start, int count);
    QNetworkReply *requestDelete(const QString &filelist);
    QNetworkReply *requestUsbInfo();
    QNetworkReply *requestMkdir(const QString &dirpath);

    void setRecord(const DeviceRecord &record);
    DeviceRecord record() const { return *this; }

    void updateStatus();
    void setSelected(bool on);

    static QString formatDiskSize(quint64 bytes);

public slots:
    void loadDiskInfoFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    // Every request is limited (size, time); errors reach the window as they read to the user.
    QNetworkReply *send(const QString &url, bool reportErrors,
                        const ReplyHolder::Limits &limits = ReplyHolder::defaultLimits());
    DeviceUser user() const;

    Ui::DeviceItem *ui;
    QPointer<DeviceHost> deviceHost;
};

#endif
