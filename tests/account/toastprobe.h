// Finds queued or shown toasts by text, for checking what a widget told the user, and the
// login dialog they appear over.
#ifndef TOASTPROBE_H
#define TOASTPROBE_H

#include "account/logindialog.h"
#include "app/messagebox.h"

#include <QApplication>

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

// The one login dialog among the top-level widgets.
inline LoginDialog *findLoginDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *d = qobject_cast<LoginDialog *>(w))
            return d;
    }
    return nullptr;
}

inline MessageBox *findToast(const QString &text)
{
    for (MessageBox *t = MessageBox::queueHead(); t; t = t->nextToast()) {
        if (t->text() == text)
            return t;
    }
    return nullptr;
}

inline int toastCount()
{
    int n = 0;
    for (MessageBox *t = MessageBox::queueHead(); t; t = t->nextToast())
        ++n;
    return n;
}

// True when the toast carries the icon of the given kind's image.
inline bool toastHasIcon(MessageBox *toast, const QString &resource)
{
    auto *icon = toast->findChild<QLabel *>(QStringLiteral("iconLabel"));
    if (!icon)
        return false;
    const QPixmap shown = icon->pixmap(Qt::ReturnByValue);
    return !shown.isNull() && shown.toImage() == QPixmap(resource).toImage();
}

inline bool toastClosable(MessageBox *toast)
{
    auto *button = toast->findChild<QPushButton *>(QStringLiteral("closeButton"));
    return button && !button->isHidden();
}

#endif // TOASTPROBE_H
