#ifndef KELVORA_HIDPIPIXMAP_H
#define KELVORA_HIDPIPIXMAP_H

#include <QPixmap>
#include <QString>

class QWidget;

// A picture of the image set for the screen a widget is on: on a screen of device pixel ratio
// 2 (or more) the twice-as-large rendering "<name>@2x.png", marked as such, so it draws at the
// same size but crisp. Icons (QIcon) find those renderings by themselves.
QPixmap hiDpiPixmap(const QString &path, const QWidget *widget);
QPixmap hiDpiPixmap(const QString &path, qreal devicePixelRatio);

#endif
