#include "platform/appdirs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if !defined(Q_OS_WIN)
namespace {

// Checks (and tightens) what fd refers to: the right kind, this user's, nothing for others.
bool keepPrivate(int fd, mode_t kind, mode_t mode)
{
    struct stat info;
    const bool ok = fd >= 0 && ::fstat(fd, &info) == 0 && (info.st_mode & S_IFMT) == kind &&
                    info.st_uid == ::geteuid() &&
                    ((info.st_mode & 077) == 0 || ::fchmod(fd, mode) == 0);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

} // namespace
#endif

QString executableFilePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
#if defined(Q_OS_WIN)
    wchar_t path[MAX_PATH] = {0};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return QDir::fromNativeSeparators(QString::fromWCharArray(path, int(n)));
#else
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
#endif
}

QString applicationDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(executableFilePath()).absolutePath();
}

QString temporaryDirectory()
{
    return QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/'));
}

QString crashReportDirectory()
{
#if defined(Q_OS_WIN)
    return temporaryDirectory() + QStringLiteral("kelvora\\");
#else
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(state) + QStringLiteral("/kelvora/crash/");
#endif
}

bool ensurePrivateDirectory(const QString &path, bool parents)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(parents);
    return QDir().mkpath(path);
#else
    const QString clean = QDir::cleanPath(path);
    const QByteArray native = QFile::encodeName(clean);
    if (::mkdir(native.constData(), 0700) != 0) {
        if (errno == ENOENT && parents) {
            const QString parent = QFileInfo(clean).path();
            if (parent == clean || !ensurePrivateDirectory(parent, true) ||
                (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST))
                return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    // O_NOFOLLOW: a link planted in place of the folder is refused, not followed.
    return keepPrivate(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                       S_IFDIR, 0700);
#endif
}

bool ensurePrivateFile(const QString &path)
{
#if defined(Q_OS_WIN)
    QFile file(path);
    return file.exists() || file.open(QIODevice::WriteOnly);
#else
    const QByteArray native = QFile::encodeName(path);
    return keepPrivate(
        ::open(native.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600), S_IFREG,
        0600);
#endif
}

QString mediaPlayerPath()
{
#if defined(Q_OS_WIN)
    for (const char *path : {"C:\\Program Files (x86)\\Windows Media Player\\wmplayer.exe",
                             "C:\\Program Files\\Windows Media Player\\wmplayer.exe"}) {
        const QString player = QString::fromLatin1(path);
        if (QFileInfo(player).isFile())
            return player;
    }
    return QString();
#else
    for (const char *name : {"mpv", "vlc", "xdg-open"}) {
        const QString player = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!player.isEmpty())
            return player;
    }
    return QString();
#endif
}

QString aria2Path()
{
#if defined(Q_OS_WIN)
    const QString local = applicationDirectory() + QStringLiteral("/aria2c.exe");
    return local;
#else
    const QString local = applicationDirectory() + QStringLiteral("/aria2c");
    const QFileInfo info(local);
    if (info.isFile() && info.isExecutable())
        return local;
    const QString found = QStandardPaths::findExecutable(QStringLiteral("aria2c"));
    return found.isEmpty() ? local : found;
#endif
}
