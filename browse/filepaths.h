#ifndef KELVORA_FILEPATHS_H
#define KELVORA_FILEPATHS_H

#include <QString>

// Device paths in their two forms. Entries keep the path as the device spells it; whatever goes
// into a request or a link is encoded. Every byte but the unreserved ones and "/" is encoded,
// "%" included, so a name that itself holds "%41" reaches the device as that name, and "&",
// "#", "'" or "|" in a name can neither end a query parameter nor a rich-text attribute.
class FilePaths
{
public:
    // UTF-8 percent-encoding with only "/" and the unreserved characters left as they are.
    static QString encode(const QString &path);
    // One name: "/" is encoded too.
    static QString encodeName(const QString &name);
    // Percent-decoding as UTF-8; text without escapes comes back unchanged.
    static QString decode(const QString &text);
    // folder + "/" + name, with every "//" replaced by "/".
    static QString join(const QString &folder, const QString &name);
    // The part after the last "/" (the whole text without one).
    static QString fileName(const QString &path);
    // The part before the last "/" (empty without one).
    static QString parentOf(const QString &path);
    // True when path is root itself or lies below it (a whole-segment prefix).
    static bool isUnder(const QString &path, const QString &root);
};

#endif
