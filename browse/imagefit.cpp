#include "browse/imagefit.h"

#include <QtGlobal>

QSize fitImageSize(const QSize &image, const QSize &screen)
{
    if (image.isEmpty())
        return QSize();
    const qint64 w = qMax(1, screen.width() - 100);
    const qint64 h = qMax(1, screen.height() - 120);
    if (image.width() <= w && image.height() <= h)
        return image;
    // Compared as products: W / H > width / height without rounding.
    if (w * image.height() > h * image.width()) {
        const qint64 width = (qint64(image.width()) * h + image.height() / 2) / image.height();
        return QSize(int(qMax<qint64>(1, width)), int(h));
    }
    const qint64 height = (qint64(image.height()) * w + image.width() / 2) / image.width();
    return QSize(int(w), int(qMax<qint64>(1, height)));
}
