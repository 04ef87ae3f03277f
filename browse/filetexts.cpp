#include "browse/filetexts.h"

#include "app/extensions.h"
#include "browse/partitionnames.h"

#include <QCoreApplication>

QString fileIconPath(const QString &name, bool small)
{
    const QString extension = extensionOf(name);
    const char *type = "file";
    if (documentExtensions.contains(extension))
        type = "word";
    else if (archiveExtensions.contains(extension))
        type = "zip";
    else if (audioExtensions.contains(extension))
        type = "music";
    else if (videoExtensions.contains(extension))
        type = "video";
    else if (pictureExtensions.contains(extension))
        type = "pic";
    return QStringLiteral(":/image/file/") + QLatin1String(type) +
           (small ? QStringLiteral("_small.png") : QStringLiteral(".png"));
}

QString formatFileSize(quint64 bytes)
{
    const double value = double(bytes);
    if (bytes > (quint64(1) << 30))
        return QString::asprintf("%.2f GB", value / double(quint64(1) << 30));
    if (bytes > (quint64(1) << 20))
        return QString::asprintf("%.2f MB", value / double(quint64(1) << 20));
    if (bytes > 1024)
        return QString::asprintf("%.2f KB", value / 1024.0);
    return QCoreApplication::translate("FileListWidget", "%1 字节").arg(int(bytes));
}

QString displayPath(const QString &path)
{
    const QMap<QString, QString> &names = partitionNames();
    for (auto it = names.constBegin(); it != names.constEnd(); ++it) {
        if (path.startsWith(it.key()))
            return it.value() + path.mid(it.key().size());
    }
    return path;
}

QString fileTimeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}
