#include "device/localdevicelistwidget.h"

#include "device/deviceitem.h"
#include "device/discoveryanswer.h"
#include "platform/endpoints.h"

#include <QTimerEvent>
#include <QUdpSocket>

LocalDeviceListWidget::LocalDeviceListWidget(QWidget *parent)
    : DeviceListWidget(parent), socket(new QUdpSocket(this))
{
    socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    connect(socket, &QUdpSocket::readyRead, this, &LocalDeviceListWidget::readyRead);
    timerId = startTimer(30000, Qt::CoarseTimer);
}

LocalDeviceListWidget::~LocalDeviceListWidget()
{
    socket->disconnect();
    socket->close();
    socket->deleteLater();
}

void LocalDeviceListWidget::Discover()
{
    // Sweep: after each removal the walk starts over, so the index is never walked while
    // it changes.
    bool removed = true;
    while (removed) {
        removed = false;
        for (auto it = devices.begin(); it != devices.end(); ++it) {
            QListWidgetItem *row = it.value();
            if (row->data(MissedRole).toInt() != 0) {
                if (QWidget *card = itemWidget(row))
                    card->deleteLater();
                delete row;
                devices.erase(it);
                removed = true;
                break;
            }
        }
    }
    for (QListWidgetItem *row : qAsConst(devices))
        row->setData(MissedRole, 1);

    const DiscoveryTarget target = discoveryTarget();
    socket->writeDatagram(DiscoveryAnswer::request(), target.address, target.port);
}

quint16 LocalDeviceListWidget::localPort() const
{
    return socket->localPort();
}

void LocalDeviceListWidget::readyRead()
{
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->pendingDatagramSize();
        if (size > DiscoveryAnswer::maxBytes) {
            socket->readDatagram(nullptr, 0); // drops it
            continue;
        }
        QByteArray payload(int(qMax<qint64>(size, 0)), Qt::Uninitialized);
        const qint64 read = socket->readDatagram(payload.data(), payload.size());
        if (read < 0)
            continue;
        payload.truncate(int(read));
        handleAnswer(payload);
    }
}

void LocalDeviceListWidget::handleAnswer(const QByteArray &payload)
{
    const auto answer = DiscoveryAnswer::parse(payload);
    if (!answer)
        return;

    QListWidgetItem *row = devices.value(answer->id);
    DeviceItem *known = row ? qobject_cast<DeviceItem *>(itemWidget(row)) : nullptr;
    DeviceRecord record = known ? known->record() : DeviceRecord();
    if (!row) {
        record.deviceid = answer->id;
        record.aliasname = DeviceRecord::fallbackName(answer->id);
    }
    record.intraip = answer->ip;
    record.xctl_port = answer->xctl_port;
    record.mps_port = answer->mps_port;
    record.http_port = answer->http_port;
    record.isLocal = true;
    record.onlinestatus = true;
    if (known) {
        known->setRecord(record);
        known->updateStatus();
    } else if (!row) {
        appendCard(record);
        row = item(count() - 1);
        devices.insert(answer->id, row);
    }
    row->setData(MissedRole, 0);
}

void LocalDeviceListWidget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == timerId)
        Discover();
    else
        DeviceListWidget::timerEvent(event);
}
