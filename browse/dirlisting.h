#ifndef KELVORA_DIRLISTING_H
#define KELVORA_DIRLISTING_H

#include "browse/devicereply.h"
#include "browse/fileentry.h"

// One page of a "querydir" reply: the folder the device listed and its entries.
class DirListing
{
public:
    DeviceReply::Status status = DeviceReply::NotObject;
    int rtn = 0;
    // Entries in the whole folder (never below 0).
    int total = 0;
    // The folder as the device names it.
    QString path;
    // Each entry's path is path + "/" + its name with "//" collapsed; "attribute" "0x01" marks a
    // folder. At most the limit given to parse(): a device cannot push more rows than asked for.
    FileEntries entries;

    bool ok() const { return status == DeviceReply::Ok; }

    static DirListing parse(const QByteArray &body, int limit);
};

#endif
