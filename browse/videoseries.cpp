#include "browse/videoseries.h"

QString VideoSeries::breadcrumb(int series, const QString &allText, const QString &seriesText)
{
    if (!isSeries(series))
        return allText;
    // One pass of arg(): a translated text holding "%2" is not substituted again.
    return QStringLiteral("<a href='video:-1' style='text-decoration:none;color:#a0a0a0;'>%1</a> "
                          "> <a href='video:%2' style='text-decoration:none;color:#a0a0a0;'>%3</a>")
        .arg(allText.toHtmlEscaped(), QString::number(series), seriesText.toHtmlEscaped());
}
