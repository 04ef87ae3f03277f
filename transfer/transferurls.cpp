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

namespace {

// A decimal number of digits only (no sign, no blanks) that fits 63 bits; -1 otherwise.
qint64 parseDigits(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 19)
        return -1;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : -1;
}

} // namespace

TransferUrls::ContentRange TransferUrls::parseContentRange(const QByteArray &value)
{
    const ContentRange none;
    const QByteArray text = value.trimmed();
    const int space = text.indexOf(' ');
    if (space < 0 || text.left(space).toLower() != "bytes")
        return none;
    const QByteArray rest = text.mid(space + 1).trimmed();
    const int slash = rest.indexOf('/');
    if (slash < 0)
        return none;
    const QByteArray range = rest.left(slash), size = rest.mid(slash + 1);
    ContentRange parsed;
    if (size != "*") {
        parsed.total = parseDigits(size);
        if (parsed.total < 0)
            return none;
    }
    if (range == "*")
        return parsed.total >= 0 ? parsed : none;
    const int dash = range.indexOf('-');
    if (dash < 0)
        return none;
    parsed.first = parseDigits(range.left(dash));
    parsed.last = parseDigits(range.mid(dash + 1));
    if (parsed.first < 0 || parsed.last < parsed.first ||
        (parsed.total >= 0 && parsed.last >= parsed.total))
        return none;
    return parsed;
}
