#ifndef KELVORA_FILEOPENER_H
#define KELVORA_FILEOPENER_H

#include <QString>

#include <functional>

class QObject;

// Opens local files and folders with the desktop's default program: xdg-open on Linux (its own
// process, the path handed over as one argument, never through a shell), the shell's "open"
// on Windows.
//
//     if (!FileOpener::open(path, this, [this] { tell("打开文件失败"); }))
//         tell("打开文件失败");
class FileOpener
{
public:
    // False when the opener could not be started. failedLater runs (in context's thread, while
    // context lives) when the opener itself reports failure soon after starting.
    static bool open(const QString &path, QObject *context = nullptr,
                     std::function<void()> failedLater = {});
    // Shows the folder that holds path (with the file selected where the desktop can).
    static bool showInFolder(const QString &path, QObject *context = nullptr,
                             std::function<void()> failedLater = {});
};

#endif
