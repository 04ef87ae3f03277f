#include "device/deviceitem.h"
#include "ui_deviceitem.h"

#include "app/networkmanager.h"
#include "device/devicehost.h"
#include "device/deviceurls.h"
#include "device/plaintooltip.h"
#include "device/replyholder.h"
#include "device/usbinfo.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>

DeviceItem::DeviceItem(QWidget *parent) : QWidget(parent), ui(new Ui::DeviceItem)
{
    ui->setupUi(this);
    ui->flagLabel->hide();
    // The name comes from the box or the server.
    ui->nameLabel->setTextFormat(Qt::PlainText);
}

DeviceItem::~DeviceItem()
{
    ReplyHolder::abortAndRelease(diskInfoReply);
    delete ui;
}

DeviceUser DeviceItem::user() const
{
    return deviceHost ? deviceHost->user() : DeviceUser();
}

QString DeviceItem::dlnaUrl(const QString &opt) const
{
    return DeviceUrls::dlnaUrl(*this, opt, user());
}

QString DeviceItem::userQuery() const
{
    return DeviceUrls::userQuery(user());
}

QNetworkReply *DeviceItem::send(const QString &url, bool reportErrors,
                                const ReplyHolder::Limits &limits)
{
    QNetworkRequest request(DeviceUrls::toUrl(url));
    // Qt would inflate a compressed body whole, before any cap could see it.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    QNetworkReply *reply = networkManager()->get(request);
    ReplyHolder::limit(reply, limits);
    if (reportErrors && deviceHost) {
        DeviceHost *host = deviceHost.data();
        ReplyHolder::forwardError(reply, host, [host](QNetworkReply::NetworkError code) {
            emit host->networkError(code);
        });
    }
    return reply;
}

QNetworkReply *DeviceItem::requestQueryDir(const QString &path, int start, int count)
{
    return send(DeviceUrls::queryDir(*this, user(), path, start, count), true);
}

QNetworkReply *DeviceItem::requestFileList(int type, int start, int count)
{
    return send(DeviceUrls::fileList(*this, user(), type, start, count), true);
}

QNetworkReply *DeviceItem::requestFileData(const QString &path, int order, quint64 size)
{
    // Failed thumbnails stay silent. A whole picture may be large and slow through the relay:
    // it may take as long as it keeps moving, up to the size the listing gave.
    ReplyHolder::Limits limits = ReplyHolder::defaultLimits();
    if (order != 1) {
        const quint64 ceiling = 512ULL << 20;
        limits.maxBytes = qint64(qBound(quint64(limits.maxBytes), size + (1ULL << 20), ceiling));
        limits.idleMs = limits.timeoutMs;
        limits.timeoutMs = 0;
    }
    return send(DeviceUrls::fileData(*this, user(), path, order, size), order != 1, limits);
}

QNetworkReply *DeviceItem::requestRealVideo(int type, int seriesid, int start, int count)
{
    return send(DeviceUrls::realVideo(*this, user(), type, seriesid, start, count), true);
}

QNetworkReply *DeviceItem::requestDelete(const QString &filelist)
{
    return send(DeviceUrls::deleteFiles(*this, user(), filelist), true);
}

QNetworkReply *DeviceItem::requestUsbInfo()
{
    // Every card asks for its disks; only the current device's failures are worth a toast.
    return send(DeviceUrls::usbInfo(*this, user()),
                deviceHost && deviceHost->currentDevice() == this);
}

QNetworkReply *DeviceItem::requestMkdir(const QString &dirpath)
{
    return send(DeviceUrls::mkdir(*this, user(), dirpath), true);
}

void DeviceItem::setRecord(const DeviceRecord &record)
{
    static_cast<DeviceRecord &>(*this) = record;
}

void DeviceItem::updateStatus()
{
    if (onlinestatus) {
        ui->nameLabel->setText(tr("%1（在线）").arg(aliasname));
        ui->nameLabel->setStyleSheet(QStringLiteral("color:#4377e2;"));
        ui->iconLabel->setPixmap(QPixmap(QStringLiteral(":/image/device.png")));
    } else {
        ui->nameLabel->setText(tr("%1（离线）").arg(aliasname));
        ui->nameLabel->setStyleSheet(QStringLiteral("color:#000;"));
        ui->iconLabel->setPixmap(QPixmap(QStringLiteral(":/image/device_offline.png")));
        ui->sizeLabel->setText(tr("未知大小"));
    }
    setToolTip(plainToolTip(aliasname));
}

void DeviceItem::setSelected(bool on)
{
    selected = on;
    if (on) {
        ui->flagLabel->setPixmap(QPixmap(QStringLiteral(":/image/listitem_clicked.png")));
        ui->flagLabel->show();
    } else {
        ui->flagLabel->hide();
    }
}

QString DeviceItem::formatDiskSize(quint64 bytes)
{
    return ::formatDiskSize(bytes);
}

void DeviceItem::loadDiskInfoFinished()
{
    const QNetworkReply::NetworkError error = ReplyHolder::error(diskInfoReply);
    if (error == QNetworkReply::TimeoutError) {
        ui->sizeLabel->setText(tr("查询超时"));
    } else if (error != QNetworkReply::NoError) {
        ui->sizeLabel->setText(tr("查询失败"));
    } else if (const auto info = UsbInfo::parse(diskInfoReply->readAll())) {
        const QString text = info->sizeText();
        ui->sizeLabel->setText(text);
        setToolTip(plainToolTip(tr("设备: %1\n硬盘: %2").arg(aliasname, text)));
    }
    ReplyHolder::release(diskInfoReply);
}

void DeviceItem::showEvent(QShowEvent *event)
{
    if (onlinestatus && !diskInfoReply) {
        diskInfoReply = requestUsbInfo();
        connect(diskInfoReply, &QNetworkReply::finished, this, &DeviceItem::loadDiskInfoFinished);
    }
    QWidget::showEvent(event);
}

void DeviceItem::enterEvent(QEvent *event)
{
    if (!selected) {
        ui->flagLabel->setPixmap(QPixmap(QStringLiteral(":/image/listitem_hover.png")));
        ui->flagLabel->show();
    }
    QWidget::enterEvent(event);
}

void DeviceItem::leaveEvent(QEvent *event)
{
    if (!selected)
        ui->flagLabel->hide();
    QWidget::leaveEvent(event);
}
