#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

// Pictures the lab draws itself: thumbnails, video posters, avatars, sample pictures.
class LabImages
{
public:
    // A PNG no larger than maxSide on either side; empty when the file is no picture.
    static QByteArray thumbnail(const QString &hostPath, int maxSide = 160);
    // A poster for a video or a series, with its title.
    static QImage poster(const QString &title, bool series, int width = 160, int height = 220);
    static QImage picture(const QString &title, const QColor &base, int width, int height);
    static QByteArray png(const QImage &image);
};
