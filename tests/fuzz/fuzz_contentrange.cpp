#include "fuzzers.h"

#include "transfer/transferurls.h"

// The header of a device's partial answer decides where its bytes go in the file: a range the
// parser gives is always first <= last < total, and written back it reads the same.
void fuzzContentRange(const QByteArray &value)
{
    const TransferUrls::ContentRange r = TransferUrls::parseContentRange(value);
    if (!r.hasRange()) {
        FUZZ_CHECK(r.first == -1 && r.last == -1 && r.total >= -1);
        if (r.total >= 0) {
            const auto again =
                TransferUrls::parseContentRange("bytes */" + QByteArray::number(r.total));
            FUZZ_CHECK(!again.hasRange() && again.total == r.total);
        }
        return;
    }
    FUZZ_CHECK(r.first <= r.last && (r.total == -1 || r.last < r.total));
    FUZZ_CHECK(value.trimmed().left(5).toLower() == "bytes");
    const QByteArray written = "bytes " + QByteArray::number(r.first) + '-' +
                               QByteArray::number(r.last) + '/' +
                               (r.total < 0 ? QByteArray("*") : QByteArray::number(r.total));
    const auto again = TransferUrls::parseContentRange(written);
    FUZZ_CHECK(again.first == r.first && again.last == r.last && again.total == r.total);
}

KELVORA_FUZZ_TARGET(fuzzContentRange)
