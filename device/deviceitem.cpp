#include "device/deviceitem.h"
#include "ui_deviceitem.h"

#include "app/networkmanager.h"
#include "device/devicehost.h"
#include "device/deviceurls.h"
#include "device/replyholder.h"
#include "device/usbinfo.h"

#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>

DeviceItem::DeviceItem(QWidget *parent) : QWidget(parent), ui(new Ui::DeviceItem)
{
    ui->setupUi(this);
    ui->flagLabel->hide();
}

DeviceItem::~DeviceItem()
{
    ReplyHolder::abortAndRelease(diskInfoReply);
    delete ui;
}

QString DeviceItem::dlnaUrl(const QString &opt) const
{
    return DeviceUrls::dlnaUrl(*this, opt, DeviceHost::user());
}

QString DeviceItem::userQuery() const
{
    return DeviceUrls::userQuery(DeviceHost::user());
}

QNetworkReply *DeviceItem::send(const QString &url, bool reportErrors)
{
    QNetworkReply *reply = networkManager()->get(QNetworkRequest(DeviceUrls::toUrl(url)));
    QObject *receiver = DeviceHost::errorReceiver();
    if (reportErrors && receiver) {
        connect(reply, SIGNAL(error(QNetworkReply::NetworkError)), receiver,
                SLOT(networkError(QNetworkReply::NetworkError)));
    }
    return reply;
}

QNetworkReply *DeviceItem::requestQueryDir(const QString &path, int start, int count)
{
    return send(DeviceUrls::queryDir(*this, DeviceHost::user(), path, start, count), true);
}

QNetworkReply *DeviceItem::requestFileList(int type, int start, int count)
{
    return send(DeviceUrls::fileList(*this, DeviceHost::user(), type, start, count), true);
}

QNetworkReply *DeviceItem::requestFileData(const QString &path, int order, quint64 size)
{
    // Failed thumbnails stay silent.
    return send(DeviceUrls::fileData(*this, DeviceHost::user(), path, order, size), order != 1);
}

QNetworkReply *DeviceItem::requestRealVideo(int type, int seriesid, int start, int count)
{
    return send(DeviceUrls::realVideo(*this, DeviceHost::user(), type, seriesid, start, count),
                true);
}

QNetworkReply *DeviceItem::requestDelete(const QString &filelist)
{
    return send(DeviceUrls::deleteFiles(*this, DeviceHost::user(), filelist), true);
}

QNetworkReply *DeviceItem::requestUsbInfo()
{
    // Every card asks for its disks; only the current device's failures are worth a toast.
    return send(DeviceUrls::usbInfo(*this, DeviceHost::user()),
                DeviceHost::currentDevice() == this);
}

QNetworkReply *DeviceItem::requestMkdir(const QString &dirpath)
{
    return send(DeviceUrls::mkdir(*this, DeviceHost::user(), dirpath), true);
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
    setToolTip(aliasname);
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

void DeviceItem::setupCardList(QListWidget *list)
{
    list->setViewMode(QListView::IconMode);
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setFlow(QListView::LeftToRight);
    list->setWrapping(true);
    list->setSpacing(10);
}

void DeviceItem::loadDiskInfoFinished()
{
    if (!diskInfoReply || diskInfoReply->error() != QNetworkReply::NoError) {
        ui->sizeLabel->setText(tr("查询失败"));
    } else if (const auto info = UsbInfo::parse(diskInfoReply->readAll())) {
        const QString text = info->sizeText();
        ui->sizeLabel->setText(text);
        setToolTip(tr("设备: %1\n硬盘: %2").arg(aliasname, text));
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
