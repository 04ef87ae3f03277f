#include "transfer/savename.h"

#include <QFileInfo>

namespace {

bool isFree(const QString &path, const QSet<QString> &taken)
{
    return !taken.contains(path) && !QFileInfo::exists(path) &&
           !QFileInfo::exists(path + QStringLiteral(".vbxdl"));
}

} // namespace

QString SaveName::safeFileName(const QString &name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        // Separators of any platform and control characters cannot be part of one name.
        bool bad = c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
                   c.unicode() == 0x7f;
#ifdef Q_OS_WIN
        // Drive letters, streams ("a:b") and wildcards.
        bad = bad || QStringLiteral(":*?\"<>|").contains(c);
#endif
        safe.append(bad ? QLatin1Char('_') : c);
    }
    // "", ".", ".." and the like name a folder, not a file in it (Windows drops trailing dots).
    if (safe.count(QLatin1Char('.')) == safe.size())
        safe = QStringLiteral("_") + safe;
    return safe;
}

QString SaveName::numbered(const QString &fileName, int n)
{
    const int dot = fileName.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return QStringLiteral("%1(%2)").arg(fileName, QString::number(n));
    return QStringLiteral("%1(%2).%3")
        .arg(fileName.left(dot), QString::number(n), fileName.mid(dot + 1));
}

QString SaveName::nextFree(const QString &folder, const QString &fileName,
                           const QSet<QString> &taken)
{
    const QString name = safeFileName(fileName);
    QString candidate = folder + QLatin1Char('/') + name;
    for (int n = 1; !isFree(candidate, taken); ++n)
        candidate = folder + QLatin1Char('/') + numbered(name, n);
    return candidate;
}

QString SaveName::forRemotePath(const QString &folder, const QString &remotePath,
                                const QSet<QString> &taken)
{
    return nextFree(folder, remotePath.mid(remotePath.lastIndexOf(QLatin1Char('/')) + 1), taken);
}
