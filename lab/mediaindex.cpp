#include "lab/mediaindex.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

#include <algorithm>

namespace {

QString extensionOf(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toLower();
}

bool newestFirst(const MediaIndex::File &a, const MediaIndex::File &b)
{
    if (a.time != b.time)
        return a.time > b.time;
    return a.devicePath < b.devicePath;
}

} // namespace

bool MediaIndex::isPicture(const QString &name)
{
    static const QStringList set = {".eps",  ".pcx", ".png",  ".tif", ".gif",
                                    ".tiff", ".bmp", ".jpeg", ".jpg"};
    return set.contains(extensionOf(name));
}

bool MediaIndex::isDocument(const QString &name)
{
    static const QStringList set = {".md",  ".html", ".rtf",  ".wps", ".txt", ".xls",
                                    ".ppt", ".docx", ".xlsx", ".doc", ".pdf", ".pptx"};
    return set.contains(extensionOf(name));
}

bool MediaIndex::isVideo(const QString &name)
{
    static const QStringList set = {".3gp",  ".mov",  ".tivo", ".tp",  ".rm",  ".ogm", ".ios",
                                    ".trp",  ".rmvb", ".xvid", ".flv", ".ts",  ".vob", ".mkv",
                                    ".m2t",  ".m2ts", ".mts",  ".m4v", ".mp4", ".wmv", ".asf",
                                    ".divx", ".avi",  ".mpeg", ".mpg"};
    return set.contains(extensionOf(name));
}

QString MediaIndex::fileIdOf(const QString &devicePath)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(devicePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

void MediaIndex::scan(const DeviceFs &fs)
{
    pictures_.clear();
    documents_.clear();
    videos_.clear();
    series_.clear();
    videoIds_.clear();
    for (int p = 0; p < fs.partitions().size(); ++p) {
        QDirIterator it(fs.partitions()[p].folder, QDir::Files | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            File f;
            f.name = info.fileName();
            f.hostPath = info.filePath();
            f.devicePath = fs.devicePathOf(p, f.hostPath);
            f.size = info.size();
            f.time = info.lastModified().toSecsSinceEpoch();
            if (isPicture(f.name)) {
                pictures_.append(f);
            } else if (isDocument(f.name)) {
                documents_.append(f);
            } else if (isVideo(f.name)) {
                f.fileid = fileIdOf(f.devicePath);
                videos_.append(f);
            }
        }
    }
    std::sort(pictures_.begin(), pictures_.end(), newestFirst);
    std::sort(documents_.begin(), documents_.end(), newestFirst);
    std::sort(videos_.begin(), videos_.end(), newestFirst);

    // Group by folder; partition roots never form a series.
    QMap<QString, QVector<int>> byFolder;
    for (int i = 0; i < videos_.size(); ++i) {
        videoIds_.insert(videos_[i].fileid, i);
        const QString folder = videos_[i].devicePath.left(videos_[i].devicePath.lastIndexOf('/'));
        if (folder.count(QLatin1Char('/')) >= 3)
            byFolder[folder].append(i);
    }
    for (auto it = byFolder.begin(); it != byFolder.end(); ++it) {
        if (it.value().size() < 2)
            continue;
        Series s;
        s.devicePath = it.key();
        s.name = it.key().mid(it.key().lastIndexOf(QLatin1Char('/')) + 1);
        // A stable number from the folder, so that a series keeps its id across scans.
        const QByteArray h =
            QCryptographicHash::hash(s.devicePath.toUtf8(), QCryptographicHash::Sha1).toHex();
        s.id = static_cast<int>(h.left(7).toUInt(nullptr, 16));
        s.videos = it.value();
        s.time = videos_[s.videos.first()].time;
        for (int v : s.videos)
            videos_[v].series = s.id;
        series_.append(s);
    }
}

const MediaIndex::File *MediaIndex::videoById(const QString &fileid) const
{
    const auto it = videoIds_.find(fileid);
    return it == videoIds_.end() ? nullptr : &videos_[it.value()];
}

const MediaIndex::Series *MediaIndex::seriesById(int id) const
{
    for (const Series &s : series_)
        if (s.id == id)
            return &s;
    return nullptr;
}
