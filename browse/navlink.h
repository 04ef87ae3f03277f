#ifndef KELVORA_NAVLINK_H
#define KELVORA_NAVLINK_H

#include <QString>

// Where a link of the cloud page's breadcrumb leads: "file:<path>" to a folder of the
// explorer, "video:<n>" to a video series (-1 all videos); anything else is unknown.
class NavLink
{
public:
    enum Kind
    {
        Unknown,
        Folder,
        VideoSeries
    };

    Kind kind = Unknown;
    QString path;
    int series = -1;

    static NavLink route(const QString &link);
};

#endif
