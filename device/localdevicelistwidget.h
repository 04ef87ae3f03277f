#ifndef KELVORA_LOCALDEVICELISTWIDGET_H
#define KELVORA_LOCALDEVICELISTWIDGET_H

#include "device/devicelistwidget.h"

#include <QMap>

class QUdpSocket;

// Devices that answer the discovery datagram on the local network. A device stays listed
// while it answers at least once between two cycles.
class LocalDeviceListWidget : public DeviceListWidget
{
    Q_OBJECT

public:
    // Item data role of the missed marker: 1 not heard since the last broadcast, 0 answered.
    static const int MissedRole = Qt::UserRole;

    explicit LocalDeviceListWidget(QWidget *parent = nullptr);
    ~LocalDeviceListWidget() override;

    // One cycle: drop the devices that missed the last one, mark the rest, broadcast.
    void Discover();

    // Handles one answer datagram, as if it had arrived on the socket.
    void handleAnswer(const QByteArray &payload);
    // The port answers come back to (the socket's local port).
    quint16 localPort() const;

public slots:
    void readyRead();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    int timerId = 0;
    QUdpSocket *socket;
    QMap<QString, QListWidgetItem *> devices;
};

#endif
