#include "device/devicepath.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QUrl>

namespace {

// Names Windows reserves for devices in any folder, with or without an extension.
bool isReservedWindowsName(const QString &name)
{
    static const QStringList reserved = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),
        QStringLiteral("NUL"),  QStringLiteral("COM1"), QStringLiteral("COM2"),
        QStringLiteral("COM3"), QStringLiteral("COM4"), QStringLiteral("COM5"),
        QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
        QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"),
        QStringLiteral("LPT3"), QStringLiteral("LPT4"), QStringLiteral("LPT5"),
        QStringLiteral("LPT6"), QStringLiteral("LPT7"), QStringLiteral("LPT8"),
        QStringLiteral("LPT9")};
    return reserved.contains(name, Qt::CaseInsensitive);
}

const int maxComponentLength = 120;

} // namespace

QString safeDevicePathComponent(const QString &deviceid)
{
    if (deviceid.isEmpty())
        return QStringLiteral("%");
    // Only letters, digits, '-' and '_' survive; '.', '~' and '%' are encoded too, so no
    // result is "." or "..", ends in a dot, or looks like the shortened form below.
    QString encoded = QString::fromLatin1(
        QUrl::toPercentEncoding(deviceid, QByteArray(), QByteArrayLiteral(".~")));
    if (isReservedWindowsName(encoded))
        encoded = QStringLiteral("%%1")
                      .arg(int(encoded.at(0).toLatin1()), 2, 16, QLatin1Char('0'))
                      .toUpper() +
                  encoded.mid(1);
    if (encoded.size() > maxComponentLength) {
        // Long names would overflow file-name limits: a prefix plus a digest of the whole.
        const QByteArray digest =
            QCryptographicHash::hash(deviceid.toUtf8(), QCryptographicHash::Sha1).toHex();
        encoded =
            encoded.left(maxComponentLength - 41) + QLatin1Char('~') + QString::fromLatin1(digest);
    }
    return encoded;
}
