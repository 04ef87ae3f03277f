#include "fuzzers.h"

#include "device/devicepath.h"

// Raw UTF-16 in (lone surrogates included, as a JSON reply can carry them): two identifiers,
// split at the first code unit 0xFFFF. Each gives one plain component, and two different
// identifiers never share a folder.
void fuzzDevicePath(const QByteArray &input)
{
    const QString text =
        QString(reinterpret_cast<const QChar *>(input.constData()), input.size() / 2);
    const int split = text.indexOf(QChar(0xFFFF));
    const QString first = split < 0 ? text : text.left(split);
    const QString second = split < 0 ? text + QChar(0xD800) : text.mid(split + 1);
    const QString a = safeDevicePathComponent(first);
    const QString b = safeDevicePathComponent(second);
    FUZZ_CHECK(isSafePathComponent(a) && isSafePathComponent(b));
    FUZZ_CHECK((first == second) == (a == b));
    FUZZ_CHECK(a == safeDevicePathComponent(first));
}

KELVORA_FUZZ_TARGET(fuzzDevicePath)
