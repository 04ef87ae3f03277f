#include "fuzzers.h"

#include "browse/dirlisting.h"
#include "browse/filepaths.h"
#include "browse/thumbcache.h"

#include <QDir>

void fuzzQueryDir(const QByteArray &body)
{
    const int limit = 7;
    const DirListing listing = DirListing::parse(body, limit);
    FUZZ_CHECK(listing.ok() || listing.entries.isEmpty());
    FUZZ_CHECK(listing.total >= 0 && listing.entries.size() <= limit);
    for (const FileEntry &entry : listing.entries) {
        FUZZ_CHECK(entry.kind == FolderKind || entry.kind == PlainFileKind);
        // Valid text survives the trip into a request and back.
        if (QString::fromUtf8(entry.path.toUtf8()) == entry.path)
            FUZZ_CHECK(FilePaths::decode(FilePaths::encode(entry.path)) == entry.path);
        // Whatever a device names, its thumbnail's cache file stays in the device's folder.
        const QString name = ThumbCache::relativePath(QStringLiteral("TVK0000000001"), entry.path);
        if (name.isEmpty())
            continue;
        FUZZ_CHECK(name.startsWith(QStringLiteral("tmp/TVK0000000001/thumb/")));
        FUZZ_CHECK(QDir::cleanPath(name) == name);
        FUZZ_CHECK(!name.contains(QLatin1Char('\\')) && !name.contains(QChar(0)));
        for (const QString &part : name.split(QLatin1Char('/')))
            FUZZ_CHECK(part != QLatin1String("..") && part != QLatin1String("."));
    }
}

KELVORA_FUZZ_TARGET(fuzzQueryDir)
