#pragma once

#include "lab/labconfig.h"

#include <QString>
#include <QVector>

// A device's disks as the device shows them: the top folder /media with one folder per
// partition, each backed by a folder on the host. Paths never leave their partition.
class DeviceFs
{
public:
    struct Location
    {
        QString devicePath; // cleaned, without a trailing "/" (the top folder is "/media")
        bool top = false;
        int partition = -1;
        bool partitionRoot = false;
        QString hostPath;
    };

    explicit DeviceFs(const QVector<LabPartition> &partitions);

    static QString topFolder() { return QStringLiteral("/media"); }
    const QVector<LabPartition> &partitions() const { return partitions_; }

    // Resolves a device path (an empty path is the top folder). False for paths outside the
    // disks, with "..", or whose existing part leads out of its partition through a link.
    bool resolve(const QString &devicePath, Location *out) const;
    // The device path of a host path inside partition p.
    QString devicePathOf(int p, const QString &hostPath) const;

    // Bytes used below a partition folder.
    quint64 usedBytes(int p) const;

private:
    bool insidePartition(int p, const QString &hostPath) const;
    QVector<LabPartition> partitions_;
};
