#include "transfer/partfile.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/syscall.h>
#endif
#endif

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

#ifdef Q_OS_UNIX
bool syncFolderOf(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// rename() that fails with EEXIST instead of replacing target.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
#if defined(Q_OS_LINUX) && defined(SYS_renameat2) && defined(RENAME_NOREPLACE)
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(),
                  RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // Without renameat2: a hard link cannot replace either.
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}
#endif

} // namespace

qint64 PartFile::lengthOf(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : -1;
}

bool PartFile::open(const QString &path, qint64 offset)
{
    close();
    error.clear();
    outOfSpace = false;
    file.setFileName(path);
    const bool created = !QFileInfo::exists(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        error = file.errorString();
        return false;
    }
    if ((file.size() != offset && !file.resize(offset)) || !file.seek(offset)) {
        error = file.errorString();
        file.close();
        return false;
    }
    length = offset;
#ifdef Q_OS_UNIX
    // A length recorded later must not outlive the file's own name after a power loss.
    if (created)
        syncFolderOf(path);
#else
    Q_UNUSED(created)
#endif
    return true;
}

bool PartFile::write(const char *data, qint64 count)
{
    // Unbuffered: the data is in the file when this returns, and a full disk shows at once.
    // A write that fills the disk comes back short with no reason given; only the next one
    // fails with the reason, so keep going until all is written or a write fails.
    qint64 written = 0;
    while (written < count) {
        const qint64 n = file.write(data + written, count - written);
        if (n <= 0)
            break;
        written += n;
    }
    length += written;
    if (written != count) {
        error = file.errorString();
        // Qt reports a full disk (ENOSPC) as a resource error; when the reason got lost on the
        // way, the free space tells.
        outOfSpace = file.error() == QFileDevice::ResourceError ||
                     QStorageInfo(file.fileName()).bytesAvailable() < count - written;
        return false;
    }
    writeback.written(length);
    return true;
}

void PartFile::followWriteback(QObject *context, std::function<void()> listener)
{
    if (file.isOpen())
        writeback.start(file.handle(), length, context, std::move(listener));
}

bool PartFile::restart()
{
    writeback.stop();
    if (!file.resize(0) || !file.seek(0)) {
        error = file.errorString();
        return false;
    }
    length = 0;
    writeback.restart(0);
    return true;
}

bool PartFile::sync()
{
    if (!file.isOpen())
        return true;
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        outOfSpace = errno == ENOSPC || errno == EDQUOT;
        error = systemError("sync");
        return false;
    }
#endif
    return true;
}

bool PartFile::isReachable() const
{
    if (!file.isOpen())
        return false;
#ifdef Q_OS_UNIX
    struct stat open, named;
    if (::fstat(file.handle(), &open) != 0 ||
        ::stat(QFile::encodeName(file.fileName()).constData(), &named) != 0)
        return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
#else
    return QFileInfo::exists(file.fileName());
#endif
}

void PartFile::close()
{
    writeback.stop();
    if (file.isOpen())
        file.close();
}

bool PartFile::moveTo(const QString &target, bool *clash)
{
    *clash = false;
    const QString from = file.fileName();
    if (!sync())
        return false;
    close();
#ifdef Q_OS_UNIX
    if (renameNoReplace(QFile::encodeName(from), QFile::encodeName(target)) != 0) {
        *clash = errno == EEXIST;
        error = systemError("rename");
        return false;
    }
    // The new name itself is durable only once its folder is.
    syncFolderOf(target);
    return true;
#else
    if (QFileInfo::exists(target)) {
        *clash = true;
        error = QStringLiteral("rename: target exists");
        return false;
    }
    if (!QFile::rename(from, target)) {
        error = QStringLiteral("rename failed");
        return false;
    }
    return true;
#endif
}
