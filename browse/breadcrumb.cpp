#include "browse/breadcrumb.h"

#include "browse/filepaths.h"

namespace {

QString anchor(const Breadcrumb::Link &link)
{
    return QStringLiteral("<a href='file:") + link.target.toHtmlEscaped() +
           QStringLiteral("' style='text-decoration:none;color:#a0a0a0;'>") +
           link.text.toHtmlEscaped() + QStringLiteral("</a>");
}

} // namespace

QVector<Breadcrumb::Link> Breadcrumb::links(const QString &rootPath, const QString &path,
                                            const QMap<QString, QString> &partitionNames,
                                            const QString &rootText)
{
    QVector<Link> result{{rootPath, rootText}};
    if (path == rootPath)
        return result;
    QString rest = path.mid(rootPath.size());
    if (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    QString target = rootPath;
    for (const QString &segment : rest.split(QLatin1Char('/'))) {
        target += QLatin1Char('/') + segment;
        target.replace(QLatin1String("//"), QLatin1String("/"));
        const QString key = FilePaths::decode(target);
        const auto name = partitionNames.constFind(key);
        result.append({target, name != partitionNames.constEnd() ? name.value()
                                                                 : FilePaths::decode(segment)});
    }
    return result;
}

QString Breadcrumb::text(const QVector<Link> &links)
{
    QStringList anchors;
    for (const Link &link : links)
        anchors.append(anchor(link));
    return anchors.join(QStringLiteral(" > "));
}
