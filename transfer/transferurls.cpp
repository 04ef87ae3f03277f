#include "transfer/transferurls.h"

#include <QFileInfo>

const char TransferUrls::boundary[] = "boundary_vbx_MzExMTc=MzA5MDQ=MjA2OTE=";

QString TransferUrls::download(const DeviceRecord &device, const QString &remotePath)
{
    // Both routes name the http port: the relay forwards there.
    return device.serviceOrigin(device.http_port) +
           QString::fromLatin1(remotePath.toUtf8().toPercentEncoding("/")) + QLatin1Char('?') +
           device.relayParameters(device.http_port);
}

QString TransferUrls::upload(const DeviceRecord &device, const QString &remoteFolder,
                             const QString &localPath)
{
    const QString name = QFileInfo(localPath).fileName();
    return device.serviceOrigin(device.mps_port) + QStringLiteral("/upload.csp?") +
           device.relayParameters(device.mps_port) + QStringLiteral("&uploadpath=") + remoteFolder +
           QStringLiteral("&file=") + QString::fromLatin1(name.toUtf8().toPercentEncoding()) +
           QStringLiteral("&opt=overwrite");
}

QByteArray TransferUrls::rangeHeader(qint64 from)
{
    return "bytes=" + QByteArray::number(from) + '-';
}

TransferUrls::ContentRange TransferUrls::parseContentRange(const QByteArray &value)
{
    ContentRange range;
    const QByteArray text = value.trimmed();
    const int slash = text.lastIndexOf('/');
    if (slash <= 0)
        return range;
    bool ok = false;
    const qint64 total = text.mid(slash + 1).trimmed().toLongLong(&ok);
    if (ok && total >= 0)
        range.total = total;
    const int space = text.indexOf(' ');
    const int dash = text.indexOf('-', space + 1);
    if (space > 0 && dash > space && dash < slash) {
        const qint64 first = text.mid(space + 1, dash - space - 1).trimmed().toLongLong(&ok);
        if (ok && first >= 0)
            range.first = first;
    }
    return range;
}
