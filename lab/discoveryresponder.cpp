#include "lab/discoveryresponder.h"

#include "device/untrustedjson.h"
#include "lab/labhttp.h"

#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

#include <cstdio>

DiscoveryResponder::DiscoveryResponder(FaultPlan *faults, OnlineCheck online, QObject *parent)
    : QObject(parent), faults_(faults), online_(std::move(online)), socket_(new QUdpSocket(this))
{
    connect(socket_, &QUdpSocket::readyRead, this, &DiscoveryResponder::OnReadyRead);
}

bool DiscoveryResponder::start(const QString &address, int port, QString *error)
{
    if (!socket_->bind(QHostAddress(address), static_cast<quint16>(port))) {
        *error = QStringLiteral("discovery: cannot bind %1:%2: %3")
                     .arg(address)
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

void DiscoveryResponder::addDevice(const QString &deviceId, const QJsonObject &answer)
{
    devices_.append({deviceId, answer});
}

void DiscoveryResponder::OnReadyRead()
{
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram request = socket_->receiveDatagram();
        // Anyone on the network can send here: read as the client reads outside JSON.
        const std::optional<QJsonObject> doc = UntrustedJson::parseObject(request.data(), 4096);
        const bool probe = doc && doc->value(QLatin1String("type")).isDouble() &&
                           doc->value(QLatin1String("type")).toInt() == 0;
        int answered = 0;
        for (const auto &device : devices_) {
            if (!probe || !online_(device.first))
                continue;
            const Faults f = faults_->at(device.first, QStringLiteral("discovery"));
            if (f.delayMs > 0)
                QThread::msleep(static_cast<unsigned long>(f.delayMs));
            const QByteArray payload =
                LabHttp::malformed(QJsonDocument(device.second).toJson(QJsonDocument::Compact), f);
            socket_->writeDatagram(payload, request.senderAddress(), request.senderPort());
            ++answered;
        }
        if (LabHttp::logging())
            std::fprintf(stderr, "discovery UDP %s:%d %s %d %d\n",
                         qPrintable(request.senderAddress().toString()), request.senderPort(),
                         probe ? "probe" : "ignored", probe ? 200 : 400, answered);
    }
}
