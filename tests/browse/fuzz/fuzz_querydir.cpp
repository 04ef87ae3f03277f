#include "browsefuzzers.h"

#include "browse/dirlisting.h"
#include "browse/filepaths.h"
#include "browse/thumbcache.h"

#include <QDir>

namespace {

// Whatever a device names, its thumbnail's cache file stays in the device's folder.
void checkCacheName(const QString &path)
{
    const QString name = ThumbCache::relativePath(QStringLiteral("TVK0000000001"), path);
    if (name.isEmpty())
        return;
    if (!name.startsWith(QStringLiteral("tmp/TVK0000000001/thumb/")) ||
        QDir::cleanPath(name) != name || name.contains(QLatin1String("/../")) ||
        name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        __builtin_trap();
}

} // namespace

void fuzzQueryDir(const QByteArray &body)
{
    const int limit = 7;
    const DirListing listing = DirListing::parse(body, limit);
    if (!listing.ok() && !listing.entries.isEmpty())
        __builtin_trap();
    if (listing.total < 0 || listing.entries.size() > limit)
        __builtin_trap();
    for (const FileEntry &entry : listing.entries) {
        if (entry.kind != FolderKind && entry.kind != PlainFileKind)
            __builtin_trap();
        // Valid text survives the trip into a request and back.
        const bool valid = QString::fromUtf8(entry.path.toUtf8()) == entry.path;
        if (valid && FilePaths::decode(FilePaths::encode(entry.path)) != entry.path)
            __builtin_trap();
        checkCacheName(entry.path);
    }
}

KELVORA_FUZZ_TARGET(fuzzQueryDir)
