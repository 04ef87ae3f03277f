#ifndef KELVORA_SAVENAME_H
#define KELVORA_SAVENAME_H

#include <QSet>
#include <QString>

// Where a downloaded device file goes in a local folder. A name is free when neither a file of
// that name nor its unfinished download ("<name>.vbxdl") exists and it is not in taken (paths
// already promised to other downloads). Clashes count up: a.tar.gz, a(1).tar.gz, a(2).tar.gz.
// Whatever the device calls its file, the result stays directly inside folder.
class SaveName
{
public:
    // The local path for the device file remotePath (a plain, decoded device path).
    static QString forRemotePath(const QString &folder, const QString &remotePath,
                                 const QSet<QString> &taken = {});
    // The first free path in folder for fileName, counting up from fileName itself.
    static QString nextFree(const QString &folder, const QString &fileName,
                            const QSet<QString> &taken = {});
    // A device's file name made safe as one local file-name component: no separators, no
    // control characters, never empty or dots only.
    static QString safeFileName(const QString &name);
    // The n-th alternative of fileName: "%1(%2).%3" around the first dot; a name without a
    // dot gets "(n)" at its end.
    static QString numbered(const QString &fileName, int n);
};

#endif
