#include "platform/appdirs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#if defined(Q_OS_WIN)
#include <windows.h>
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
