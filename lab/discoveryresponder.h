#pragma once

#include "lab/faultplan.h"

#include <QJsonObject>
#include <QObject>
#include <QVector>

#include <functional>

class QUdpSocket;

// One UDP socket on a discovery address: answers the client's probe with one datagram per
// device on the LAN that listens there and is on line.
class DiscoveryResponder : public QObject
{
    Q_OBJECT
public:
    using OnlineCheck = std::function<bool(const QString &deviceId)>;

    DiscoveryResponder(FaultPlan *faults, OnlineCheck online, QObject *parent = nullptr);
    bool start(const QString &address, int port, QString *error);
    int port() const;
    // The answer of one device: "id", "ip", "xctl_port", "mps_port", "http_port".
    void addDevice(const QString &deviceId, const QJsonObject &answer);

private slots:
    void OnReadyRead();

private:
    FaultPlan *faults_;
    OnlineCheck online_;
    QUdpSocket *socket_;
    QVector<QPair<QString, QJsonObject>> devices_;
};
