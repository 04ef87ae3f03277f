#include "app/extensions.h"

#include <initializer_list>

QSet<QString> documentExtensions;
QSet<QString> videoExtensions;
QSet<QString> audioExtensions;
QSet<QString> pictureExtensions;
QSet<QString> archiveExtensions;

static void fill(QSet<QString> &set, std::initializer_list<const char *> entries)
{
    set.clear();
    for (const char *e : entries)
        set.insert(QString::fromLatin1(e));
}

void fillExtensionSets()
{
    fill(documentExtensions, {".md", ".html", ".rtf", ".wps", ".txt", ".xls", ".ppt", ".docx",
                              ".xlsx", ".doc", ".pdf", ".pptx"});
    fill(videoExtensions,
         {".3gp",  ".mov", ".tivo", ".tp",   ".rm",  ".ogm",  ".ios",  ".trp", ".rmvb",
          ".xvid", ".flv", ".ts",   ".vob",  ".mkv", ".m2t",  ".m2ts", ".mts", ".m4v",
          ".mp4",  ".wmv", ".asf",  ".divx", ".avi", ".mpeg", ".mpg"});
    fill(audioExtensions,
         {".mpc", ".mid", ".lse", ".ape", ".aiff", ".dts", ".asx", ".ac3", ".3gp",  ".pcm", ".ogg",
          ".wav", ".m4p", ".aac", ".m4a", ".flc",  ".fla", ".asf", ".wma", ".flac", ".mp3"});
    fill(pictureExtensions,
         {".eps", ".pcx", ".png", ".tif", ".gif", ".tiff", ".bmp", ".jpeg", ".jpg"});
    fill(archiveExtensions, {".7z", ".gz", ".tar", ".rar", ".zip"});
}

QString extensionOf(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? fileName : fileName.mid(dot)).toLower();
}
