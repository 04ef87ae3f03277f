#include "device/devicelistwidget.h"

#include "device/devicehost.h"
#include "device/deviceitem.h"

DeviceListWidget::DeviceListWidget(QWidget *parent) : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setSpacing(10);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &DeviceListWidget::updateEmptyLook);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &DeviceListWidget::updateEmptyLook);
    connect(model(), &QAbstractItemModel::modelReset, this, &DeviceListWidget::updateEmptyLook);
    updateEmptyLook();
}

DeviceListWidget::~DeviceListWidget()
{
    // The model is our child: QWidget's destructor clears it after this class is gone, and its
    // reset must not reach updateEmptyLook() on the half-destroyed list.
    disconnect(model(), nullptr, this, nullptr);
}

void DeviceListWidget::setHost(DeviceHost *host)
{
    deviceHost = host;
    for (int row = 0; row < count(); ++row) {
        if (DeviceItem *card = deviceAt(row))
            card->setHost(host);
    }
}

DeviceItem *DeviceListWidget::deviceAt(int row) const
{
    return qobject_cast<DeviceItem *>(itemWidget(item(row)));
}

DeviceItem *DeviceListWidget::findDevice(const QString &deviceid) const
{
    for (int row = 0; row < count(); ++row) {
        DeviceItem *card = deviceAt(row);
        if (card && card->deviceid == deviceid)
            return card;
    }
    return nullptr;
}

void DeviceListWidget::markCurrent(const QString &deviceid)
{
    for (int row = 0; row < count(); ++row) {
        if (DeviceItem *card = deviceAt(row))
            card->setSelected(!deviceid.isEmpty() && card->deviceid == deviceid);
    }
}

QString DeviceListWidget::emptyStyle()
{
    return QStringLiteral("QListWidget{background-image:url(:/image/empty.png);"
                          "background-repeat:none;background-position:center;}");
}

QString DeviceListWidget::filledStyle()
{
    return QStringLiteral("QListWidget{background:#fff;}");
}

DeviceItem *DeviceListWidget::appendCard(const DeviceRecord &record)
{
    auto *row = new QListWidgetItem(this);
    auto *card = new DeviceItem(this);
    card->setRecord(record);
    card->setHost(deviceHost);
    if (deviceHost && !record.deviceid.isEmpty())
        card->setSelected(deviceHost->currentDeviceId() == record.deviceid);
    card->updateStatus();
    row->setSizeHint(card->size());
    setItemWidget(row, card);
    return card;
}

void DeviceListWidget::updateEmptyLook()
{
    const QString style = count() == 0 ? emptyStyle() : filledStyle();
    if (styleSheet() != style)
        setStyleSheet(style);
}
