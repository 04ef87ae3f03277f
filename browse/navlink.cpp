#include "browse/navlink.h"

NavLink NavLink::route(const QString &link)
{
    NavLink result;
    if (link.startsWith(QLatin1String("file:"))) {
        result.kind = Folder;
        result.path = link.mid(5);
    } else if (link.startsWith(QLatin1String("video:"))) {
        bool ok = false;
        const int series = link.mid(6).toInt(&ok, 10);
        if (ok) {
            result.kind = VideoSeries;
            result.series = series;
        }
    }
    return result;
}
