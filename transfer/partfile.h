#ifndef KELVORA_PARTFILE_H
#define KELVORA_PARTFILE_H

#include "transfer/writeback.h"

#include <QFile>
#include <QString>

// The temporary file of a download. Data is appended as it arrives and pushed to the disk behind
// the writer; sync() makes everything written so far durable, so a length recorded after it is
// never ahead of the disk; moveTo() gives the file its final name without ever replacing a file
// that has that name.
class PartFile
{
public:
    PartFile() = default;
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;
    ~PartFile() { close(); }

    // The length of the file at path, -1 when there is none.
    static qint64 lengthOf(const QString &path);

    // Opens path (creating it) for writing at offset; anything beyond offset is cut off.
    bool open(const QString &path, qint64 offset);
    bool isOpen() const { return file.isOpen(); }
    // listener runs on context's thread whenever more of the file reached the disk.
    void followWriteback(QObject *context, std::function<void()> listener);
    // Bytes written but not yet on the disk. A writer holds back above backlogLimit, so that a
    // sync never waits long.
    qint64 backlog() const { return writeback.backlog(); }
    static constexpr qint64 backlogLimit = 32 * 1024 * 1024;
    QString path() const { return file.fileName(); }
    // The length written so far.
    qint64 size() const { return length; }
    // Writes all of data or fails; after a failure size() is the length the file really has.
    bool write(const char *data, qint64 count);
    // Starts over from an empty file.
    bool restart();
    bool sync();
    // False once the file's name no longer leads to the open file (its folder was removed or
    // it was deleted or replaced): what is written then would be lost.
    bool isReachable() const;
    void close();
    // Syncs, closes and renames the file to target. False when that fails; *clash is true when
    // the reason is that target exists. The file stays where it was on failure.
    bool moveTo(const QString &target, bool *clash);

    QString errorString() const { return error; }
    // The last failure was a full disk (or the user's quota).
    bool isOutOfSpace() const { return outOfSpace; }

private:
    QFile file;
    qint64 length = 0;
    Writeback writeback;
    QString error;
    bool outOfSpace = false;
};

#endif
