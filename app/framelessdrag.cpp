#include "app/framelessdrag.h"

#include <QMouseEvent>
#include <QWidget>

FramelessDrag::FramelessDrag(QWidget *window, QWidget *handle)
    : QObject(window), window(window), handle(handle)
{
    window->installEventFilter(this);
}

bool FramelessDrag::inBand(QPoint pos) const
{
    if (!handle)
        return window->rect().contains(pos);
    return pos.y() >= 0 && pos.y() < handle->mapTo(window, QPoint(0, handle->height())).y();
}

bool FramelessDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const bool starts = mouse->button() == Qt::LeftButton && inBand(mouse->pos());
        origin = starts ? mouse->pos() : QPoint(-1, -1);
        break;
    }
    case QEvent::MouseMove:
        if (isDragging() && !window->isMaximized() && !window->isFullScreen())
            window->move(window->pos() + static_cast<QMouseEvent *>(event)->pos() - origin);
        break;
    case QEvent::MouseButtonRelease:
        origin = QPoint(-1, -1);
        break;
    default:
        break;
    }
    return false;
}
