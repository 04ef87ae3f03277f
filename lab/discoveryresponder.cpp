#include "lab/discoveryresponder.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

DiscoveryResponder::DiscoveryResponder(const QString &host, FaultPlan *faults, QObject *parent)
    : QObject(parent), host_(host), faults_(faults), socket_(new QUdpSocket(this))
{
    connect(socket_, &QUdpSocket::readyRead, this, &DiscoveryResponder::OnReadyRead);
}

bool DiscoveryResponder::start(int port, QString *error)
{
    if (!socket_->bind(QHostAddress(host_), static_cast<quint16>(port))) {
        *error = QStringLiteral("discovery: cannot bind %1:%2: %3")
                     .arg(host_)
                     .arg(port)
                     .arg(socket_->errorString());
        return false;
    }
    return true;
}

int DiscoveryResponder::port() const
{
    return socket_->localPort();
}

void DiscoveryResponder::OnReadyRead()
{
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram request = socket_->receiveDatagram();
        const QJsonDocument doc = QJsonDocument::fromJson(request.data());
        if (!doc.isObject() || !doc.object().value(QLatin1String("type")).isDouble() ||
            doc.object().value(QLatin1String("type")).toInt() != 0)
            continue;
        const Faults f = faults_->at(QStringLiteral("discovery"));
        if (f.delayMs > 0)
            QThread::msleep(static_cast<unsigned long>(f.delayMs));
        for (const QJsonValue &v : answers_) {
            QByteArray payload = QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
            if (f.json == QLatin1String("malformed"))
                payload = "{id:";
            else if (f.json == QLatin1String("truncated"))
                payload.truncate(payload.size() / 2);
            socket_->writeDatagram(payload, request.senderAddress(), request.senderPort());
        }
    }
}
