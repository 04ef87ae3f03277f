#ifndef KELVORA_DEVICELISTWIDGET_H
#define KELVORA_DEVICELISTWIDGET_H

#include <QListWidget>
#include <QPointer>

class DeviceHost;
class DeviceItem;
class DeviceRecord;

// What the bound and the LAN device lists share: a grid of device cards, the window's host
// handed on to every card, the empty-list picture whenever the list has no row, and the mark
// on the current device's card.
class DeviceListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit DeviceListWidget(QWidget *parent = nullptr);
    ~DeviceListWidget() override;

    void setHost(DeviceHost *host);
    DeviceHost *host() const { return deviceHost; }

    // The card of a row, or null.
    DeviceItem *deviceAt(int row) const;
    DeviceItem *findDevice(const QString &deviceid) const;
    // The card with this identifier shows the selection mark, every other card not.
    void markCurrent(const QString &deviceid);

    static QString emptyStyle();
    static QString filledStyle();

protected:
    // A new row at the end with a card showing the record; the card carries the host and, when
    // it is the current device, the mark. Filled before it is shown, so that an on-line card
    // asks for its disks at once.
    DeviceItem *appendCard(const DeviceRecord &record);

private:
    void updateEmptyLook();

    QPointer<DeviceHost> deviceHost;
};

#endif
