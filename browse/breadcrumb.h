#ifndef KELVORA_BREADCRUMB_H
#define KELVORA_BREADCRUMB_H

#include <QMap>
#include <QString>
#include <QStringList>

// The explorer's breadcrumb: rich-text links from the device's top folder down to the folder
// shown, joined with " > ". Paths are in their encoded form (FilePaths::encode), so a link
// target never holds a quote or anything else a rich-text attribute would trip over; each link
// is "file:" + its target.
class Breadcrumb
{
public:
    class Link
    {
    public:
        QString target;
        QString text;
    };

    // The root link (rootText), then one link per segment of path below rootPath: a segment's
    // target is rootPath + "/" + the segments up to it, with "//" collapsed; its text is the
    // partition name of the target (decoded) when it has one, else the segment decoded.
    static QVector<Link> links(const QString &rootPath, const QString &path,
                               const QMap<QString, QString> &partitionNames,
                               const QString &rootText);
    // The links as rich text; texts are HTML-escaped.
    static QString text(const QVector<Link> &links);
};

#endif
