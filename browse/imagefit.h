#ifndef KELVORA_IMAGEFIT_H
#define KELVORA_IMAGEFIT_H

#include <QSize>

// The size the image viewer shows a picture at on a screen: the picture itself when it fits in
// the screen less 100 by 120 pixels; otherwise scaled, aspect kept, to that height when the
// free area is relatively wider than the picture, else to that width. Never below 1 x 1; an
// empty picture gives an empty size.
QSize fitImageSize(const QSize &image, const QSize &screen);

#endif
