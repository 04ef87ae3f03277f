#ifndef KELVORA_TRANSFERURLS_H
#define KELVORA_TRANSFERURLS_H

#include "device/devicerecord.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// The requests of the device's file service: downloads from the http port, uploads to
// upload.csp on the mps port, both by the device's address rule.
class TransferUrls
{
public:
    static const char boundary[];

    // remotePath is a plain device path; it is percent-encoded here ("/" and unreserved stay).
    static QString download(const DeviceRecord &device, const QString &remotePath);
    // remoteFolder goes in as given (it is already in the device's encoded form); the file's
    // own name is encoded.
    static QString upload(const DeviceRecord &device, const QString &remoteFolder,
                          const QString &localPath);
    // "bytes=N-"
    static QByteArray rangeHeader(qint64 from);

    // Parsed "Content-Range: bytes first-last/total" or "bytes */total"; -1 for a part that
    // is "*". A value of any other form, or whose range is not first <= last < total, gives
    // -1 everywhere: such a header says nothing about where the body's bytes belong.
    struct ContentRange
    {
        qint64 first = -1;
        qint64 last = -1;
        qint64 total = -1;

        bool hasRange() const { return first >= 0; }
    };
    static ContentRange parseContentRange(const QByteArray &value);

    static QUrl toUrl(const QString &text) { return QUrl(text, QUrl::TolerantMode); }
};

#endif
