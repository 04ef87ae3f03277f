#pragma once

#include "lab/faultplan.h"

#include <QJsonArray>
#include <QObject>

class QUdpSocket;

// Answers the client's discovery datagram with one datagram per device on the LAN.
class DiscoveryResponder : public QObject
{
    Q_OBJECT
public:
    DiscoveryResponder(const QString &host, FaultPlan *faults, QObject *parent = nullptr);
    bool start(int port, QString *error);
    int port() const;
    // The answers: objects with "id", "ip", "xctl_port", "mps_port", "http_port".
    void setAnswers(const QJsonArray &answers) { answers_ = answers; }

private slots:
    void OnReadyRead();

private:
    QString host_;
    FaultPlan *faults_;
    QUdpSocket *socket_;
    QJsonArray answers_;
};
