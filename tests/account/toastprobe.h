// Finds queued or shown toasts by text, for checking what a widget told the user, and the
// login dialog they appear over.
#ifndef TOASTPROBE_H
#define TOASTPROBE_H

#include "account/logindialog.h"
#include "app/messagebox.h"

#include <QApplication>
#include <QLabel>
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

// Toasts whose text starts with prefix.
inline int toastsStarting(const QString &prefix)
{
    int n = 0;
    for (MessageBox *t = MessageBox::queueHead(); t; t = t->nextToast())
        n += t->text().startsWith(prefix);
    return n;
}

#endif // TOASTPROBE_H
