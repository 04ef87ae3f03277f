#include "platform/fileopener.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace {

bool startOpener(const QString &path)
{
#ifdef Q_OS_WIN
    const QString native = QDir::toNativeSeparators(path);
    const auto result = reinterpret_cast<quintptr>(
        ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t *>(native.utf16()), nullptr,
                      nullptr, SW_SHOWNORMAL));
    return result > 32;
#else
    // Detached: the program opened must outlive the client, and nothing waits for it.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
#endif
}

} // namespace

bool FileOpener::open(const QString &path, QObject *, std::function<void()>)
{
    if (path.isEmpty())
        return false;
    return startOpener(QFileInfo(path).absoluteFilePath());
}

bool FileOpener::showInFolder(const QString &path, QObject *context,
                              std::function<void()> failedLater)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
#ifdef Q_OS_WIN
    // explorer reads "/select," and the path as one argument of its own syntax.
    QProcess explorer;
    explorer.setProgram(QStringLiteral("explorer.exe"));
    explorer.setNativeArguments(
        QStringLiteral("/select,\"%1\"").arg(QDir::toNativeSeparators(info.absoluteFilePath())));
    return explorer.startDetached();
#else
    return open(info.absolutePath(), context, std::move(failedLater));
#endif
}
