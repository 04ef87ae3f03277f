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

    // Any host can send to the discovery socket; an honest answer is about 100 bytes, and a
    // datagram above this is dropped unread.
    static constexpr int maxBytes = 4096;

    // The 18-byte request, no terminator.
    static QByteArray request();
    // Empty unless the payload is a JSON object holding all five keys, within maxBytes.
    static std::optional<DiscoveryAnswer> parse(const QByteArray &payload);
};

#endif
