#include "fuzzers.h"

#include "browse/albumlisting.h"
#include "browse/thumbcache.h"

void fuzzFileList(const QByteArray &body)
{
    const int limit = 5;
    const AlbumListing listing = AlbumListing::parse(body, limit);
    FUZZ_CHECK(listing.ok() || listing.entries.isEmpty());
    FUZZ_CHECK(listing.total >= 0 && listing.entries.size() <= limit);
    for (const FileEntry &entry : listing.entries) {
        FUZZ_CHECK(entry.kind == PlainFileKind);
        // A hostile device id and path together still name a file in that device's folder.
        const QString name = ThumbCache::relativePath(QStringLiteral(".."), entry.path);
        FUZZ_CHECK(name.isEmpty() || name.startsWith(QStringLiteral("tmp/%2E%2E/thumb/")));
    }
}

KELVORA_FUZZ_TARGET(fuzzFileList)
