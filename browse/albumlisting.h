#ifndef KELVORA_ALBUMLISTING_H
#define KELVORA_ALBUMLISTING_H

#include "browse/devicereply.h"
#include "browse/fileentry.h"

// One page of a "get" reply (pictures or documents of all disks, newest first).
class AlbumListing
{
public:
    DeviceReply::Status status = DeviceReply::NotObject;
    int rtn = 0;
    // Matching files on the device (never below 0).
    int total = 0;
    // Files only, each with its "path" exactly as the device sends it; at most the limit.
    FileEntries entries;

    bool ok() const { return status == DeviceReply::Ok; }

    static AlbumListing parse(const QByteArray &body, int limit);
};

#endif
