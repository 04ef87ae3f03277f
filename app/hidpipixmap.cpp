#include "app/hidpipixmap.h"

#include <QGuiApplication>
#include <QIcon>
#include <QWidget>

QPixmap hiDpiPixmap(const QString &path, qreal devicePixelRatio)
{
    qreal sourceRatio = 1.0;
    const QString file = qt_findAtNxFile(path, devicePixelRatio, &sourceRatio);
    QPixmap pixmap(file);
    if (!pixmap.isNull())
        pixmap.setDevicePixelRatio(sourceRatio);
    return pixmap;
}

QPixmap hiDpiPixmap(const QString &path, const QWidget *widget)
{
    return hiDpiPixmap(path, widget ? widget->devicePixelRatioF() : qApp->devicePixelRatio());
}
