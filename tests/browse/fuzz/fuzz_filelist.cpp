#include "browsefuzzers.h"

#include "browse/albumlisting.h"
#include "browse/thumbcache.h"

void fuzzFileList(const QByteArray &body)
{
    const int limit = 5;
    const AlbumListing listing = AlbumListing::parse(body, limit);
    if (!listing.ok() && !listing.entries.isEmpty())
        __builtin_trap();
    if (listing.total < 0 || listing.entries.size() > limit)
        __builtin_trap();
    for (const FileEntry &entry : listing.entries) {
        if (entry.kind != PlainFileKind)
            __builtin_trap();
        const QString name = ThumbCache::relativePath(QStringLiteral(".."), entry.path);
        if (!name.isEmpty() && !name.startsWith(QStringLiteral("tmp/%2E%2E/thumb/")))
            __builtin_trap();
    }
}

KELVORA_FUZZ_TARGET(fuzzFileList)
