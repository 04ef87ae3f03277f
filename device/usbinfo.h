#ifndef KELVORA_USBINFO_H
#define KELVORA_USBINFO_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

// The device's disks as its "getusbinfo" reply describes them.
class UsbInfo
{
public:
    class Partition
    {
    public:
        QString name;
        QString letter;
        QString path;
        quint64 size = 0;
        quint64 used = 0;
    };

    // Every partition of every disk, in reply order.
    QVector<Partition> partitions;
    quint64 total = 0;
    quint64 used = 0;

    // Never below zero, even when a device reports more used than it has.
    quint64 freeSpace() const { return used < total ? total - used : 0; }
    // "%1可用/%2" with formatDiskSize of the free and the total space.
    QString sizeText() const;

    // Empty unless the body is a JSON object with "rtn" 0.
    static std::optional<UsbInfo> parse(const QByteArray &body);
};

// "%d字节", "%dKB", "%dMB" or "%dGB", truncated; each limit belongs to the smaller unit.
QString formatDiskSize(quint64 bytes);

#endif
