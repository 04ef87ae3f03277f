#include "app/resizelabel.h"

#include <QMouseEvent>

ResizeLabel::ResizeLabel(QWidget *parent) : QLabel(parent), dragOrigin(-1, -1) {}

void ResizeLabel::mousePressEvent(QMouseEvent *event)
{
    dragOrigin = event->pos();
}

void ResizeLabel::mouseReleaseEvent(QMouseEvent *event)
{
    dragOrigin = QPoint(-1, -1);
}

void ResizeLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (dragOrigin == QPoint(-1, -1))
        return;
    // The owner moves this label with the window's corner, so the offset left over is
    // exactly what the window still has to grow.
    emit resizeWindow(event->pos().x() - dragOrigin.x(), event->pos().y() - dragOrigin.y());
}

void ResizeLabel::enterEvent(QEvent *event)
{
    setCursor(Qt::SizeFDiagCursor);
    QLabel::enterEvent(event);
}

void ResizeLabel::leaveEvent(QEvent *event)
{
    unsetCursor();
    QLabel::leaveEvent(event);
}
