#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Delivers one mouse event straight to w: a press, release or double click with the left
// button, or a move with the given buttons held.
inline void sendMouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// A left-button press at press and a move by offset; a release there too when release is set.
inline void dragBy(QWidget *w, QPoint press, QPoint offset, bool release)
{
    sendMouse(w, QEvent::MouseButtonPress, press, Qt::LeftButton);
    sendMouse(w, QEvent::MouseMove, press + offset, Qt::LeftButton);
    if (release)
        sendMouse(w, QEvent::MouseButtonRelease, press + offset, Qt::NoButton);
    QCoreApplication::processEvents();
}
