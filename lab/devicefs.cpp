#include "lab/devicefs.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

DeviceFs::DeviceFs(const QVector<LabPartition> &partitions) : partitions_(partitions) {}

bool DeviceFs::resolve(const QString &devicePath, Location *out) const
{
    Location loc;
    QString path = devicePath;
    if (path.isEmpty())
        path = topFolder();
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return false;
    QStringList parts;
    for (const QString &seg : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (seg == QLatin1String(".."))
            return false;
        if (seg != QLatin1String("."))
            parts << seg;
    }
    if (parts.isEmpty() || parts.first() != topFolder().mid(1))
        return false;
    if (parts.size() == 1) {
        loc.top = true;
        loc.devicePath = topFolder();
        *out = loc;
        return true;
    }
    for (int i = 0; i < partitions_.size(); ++i) {
        if (partitions_[i].mount != parts[1])
            continue;
        loc.partition = i;
        loc.partitionRoot = parts.size() == 2;
        loc.devicePath = QLatin1Char('/') + parts.join(QLatin1Char('/'));
        QString host = partitions_[i].folder;
        for (int k = 2; k < parts.size(); ++k)
            host += QLatin1Char('/') + parts[k];
        loc.hostPath = host;
        if (!insidePartition(i, host))
            return false;
        *out = loc;
        return true;
    }
    return false;
}

bool DeviceFs::insidePartition(int p, const QString &hostPath) const
{
    const QString root = QFileInfo(partitions_[p].folder).canonicalFilePath();
    if (root.isEmpty())
        return false;
    // The deepest existing ancestor decides: a link inside the partition may not lead out.
    QString probe = hostPath;
    while (!QFileInfo::exists(probe)) {
        const int slash = probe.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return false;
        probe = probe.left(slash);
    }
    const QString real = QFileInfo(probe).canonicalFilePath();
    return real == root || real.startsWith(root + QLatin1Char('/'));
}

QString DeviceFs::devicePathOf(int p, const QString &hostPath) const
{
    const QString root = partitions_[p].folder;
    QString rest = hostPath.mid(root.size());
    return topFolder() + QLatin1Char('/') + partitions_[p].mount + rest;
}

quint64 DeviceFs::usedBytes(int p) const
{
    quint64 used = 0;
    QDirIterator it(partitions_[p].folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        used += static_cast<quint64>(it.fileInfo().size());
    }
    return used;
}
