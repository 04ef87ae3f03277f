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

QByteArray percentEncoded(const QString &text)
{
    return QUrl::toPercentEncoding(text, QByteArray(), QByteArrayLiteral(".~"));
}

bool isLoneSurrogate(const QString &text, int i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return i + 1 == text.size() || !text.at(i + 1).isLowSurrogate();
    return c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

// UTF-8 has no form for an unpaired surrogate (it would become "?" like any other): such a unit
// is written "%uD800". Valid text never yields "%u", as '%' itself is encoded.
QByteArray encodeUnits(const QString &deviceid)
{
    if (deviceid.isValidUtf16())
        return percentEncoded(deviceid);
    QByteArray encoded;
    int run = 0;
    for (int i = 0; i < deviceid.size(); ++i) {
        if (!isLoneSurrogate(deviceid, i))
            continue;
        encoded += percentEncoded(deviceid.mid(run, i - run));
        encoded += "%u" + QByteArray::number(deviceid.at(i).unicode(), 16).toUpper();
        run = i + 1;
    }
    return encoded + percentEncoded(deviceid.mid(run));
}

// The digest of the shortened form; 0xFF never occurs in UTF-8, so the two kinds of input
// cannot meet.
QByteArray digestInput(const QString &deviceid)
{
    if (deviceid.isValidUtf16())
        return deviceid.toUtf8();
    return QByteArray(1, '\xff') +
           QByteArray(reinterpret_cast<const char *>(deviceid.utf16()), deviceid.size() * 2);
}

} // namespace

QString safeDevicePathComponent(const QString &deviceid)
{
    if (deviceid.isEmpty())
        return QStringLiteral("%");
    // Only letters, digits, '-' and '_' survive; '.', '~' and '%' are encoded too, so no
    // result is "." or "..", ends in a dot, or looks like the shortened form below.
    QString encoded = QString::fromLatin1(encodeUnits(deviceid));
    if (isReservedWindowsName(encoded))
        encoded = QStringLiteral("%%1")
                      .arg(int(encoded.at(0).toLatin1()), 2, 16, QLatin1Char('0'))
                      .toUpper() +
                  encoded.mid(1);
    if (encoded.size() > maxComponentLength) {
        // Long names would overflow file-name limits: a prefix plus a digest of the whole.
        const QByteArray digest =
            QCryptographicHash::hash(digestInput(deviceid), QCryptographicHash::Sha1).toHex();
        encoded =
            encoded.left(maxComponentLength - 41) + QLatin1Char('~') + QString::fromLatin1(digest);
    }
    return encoded;
}
