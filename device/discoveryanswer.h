#ifndef KELVORA_DISCOVERYANSWER_H
#define KELVORA_DISCOVERYANSWER_H

#include <QByteArray>
#include <QString>
#include <optional>

// One device's answer to the LAN discovery datagram.
class DiscoveryAnswer
{
public:
    QString id;
    QString ip;
    quint16 xctl_port = 0;
    quint16 mps_port = 0;
    quint16 http_port = 0;

    // The 18-byte request, no terminator.
    static QByteArray request();
    // Empty unless the payload is a JSON object holding all five keys.
    static std::optional<DiscoveryAnswer> parse(const QByteArray &payload);
};

#endif
