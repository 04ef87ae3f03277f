#include "app/messagebox.h"
#include "ui_messagebox.h"

#include <QDebug>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QTimerEvent>

namespace {
MessageBox *toastQueue = nullptr;
}

MessageBox::MessageBox(QWidget *parent) : QWidget(parent), ui(new Ui::MessageBox)
{
    ui->setupUi(this);
    // Toasts carry names from devices and servers: shown as typed, never as markup.
    ui->msgLabel->setTextFormat(Qt::PlainText);
    opacityEffect = new QGraphicsOpacityEffect(this);
    fadeAnimation = new QPropertyAnimation(opacityEffect, "opacity");
    fadeAnimation->setDuration(1000);
    fadeAnimation->setStartValue(1.0);
    fadeAnimation->setEndValue(0.0);
    connect(ui->closeButton, &QPushButton::clicked, this, &MessageBox::OnCloseClicked);
    ui->closeButton->setToolTip(tr("关闭"));
    ui->closeButton->setAccessibleName(tr("关闭"));
    setGraphicsEffect(opacityEffect);
    connect(fadeAnimation, &QPropertyAnimation::finished, this, &MessageBox::OnFadeFinished);
}

MessageBox::~MessageBox()
{
    // A toast can die with its parent while still queued: unlink it so the queue never
    // points at freed memory, and hand the screen on when it was the head.
    if (toastQueue == this) {
        toastQueue = next;
        if (toastQueue)
            toastQueue->startDisplay();
    } else {
        for (MessageBox *t = toastQueue; t; t = t->next) {
            if (t->next == this) {
                t->next = next;
                break;
            }
        }
    }
    delete fadeAnimation;
    delete ui;
}

void MessageBox::showMessage(int kind, const QString &text, QWidget *parent, bool closable,
                             int durationMs, QPoint pos)
{
    enqueue(kind, text, parent, closable, durationMs, pos, QString());
}

void MessageBox::showLatest(const QString &group, int kind, const QString &text, QWidget *parent,
                            bool closable, int durationMs)
{
    enqueue(kind, text, parent, closable, durationMs, QPoint(-1, -1), group);
}

void MessageBox::enqueue(int kind, const QString &text, QWidget *parent, bool closable,
                         int durationMs, QPoint pos, const QString &group)
{
    if (!parent)
        return;
    qDebug("toast: %s", qUtf8Printable(text));
    dropHeadsOverHiddenWindows();
    for (MessageBox *t = toastQueue; t; t = t->next) {
        if (t->ui->msgLabel->text() == text)
            return;
    }
    if (!group.isEmpty() && toastQueue) {
        // The head is on screen and keeps its time. A few of a group may wait (a handful of
        // transfers finishing together each get theirs); beyond that the newest waiting one
        // gives its place to this one.
        const int waitingPerGroup = 3;
        int waiting = 0;
        MessageBox *newest = nullptr;
        for (MessageBox *t = toastQueue->next; t; t = t->next) {
            if (t->group == group) {
                ++waiting;
                newest = t;
            }
        }
        if (waiting >= waitingPerGroup)
            delete newest; // unlinks itself
    }

    auto *toast = new MessageBox(parent);
    switch (kind) {
    case Error:
        toast->ui->iconLabel->setPixmap(QPixmap(QStringLiteral(":/image/msgbox_error.png")));
        break;
    case Done:
        toast->ui->iconLabel->setPixmap(QPixmap(QStringLiteral(":/image/msgbox_done.png")));
        break;
    case Info:
        toast->ui->iconLabel->setPixmap(QPixmap(QStringLiteral(":/image/msgbox_logo.png")));
        break;
    default:
        break;
    }
    toast->ui->msgLabel->setText(text);
    toast->ui->closeButton->setVisible(closable);
    // A toast often lands over a dialog's buttons (the login button after a kick-out): it
    // must not swallow clicks meant for them. Only a closable toast takes the mouse.
    toast->setAttribute(Qt::WA_TransparentForMouseEvents, !closable);
    toast->durationMs = durationMs == -1 ? 2000 : durationMs;
    toast->position = pos;
    toast->group = group;

    // The parent's style sheet decides the font; apply it before measuring. A text of several
    // lines (an address under its explanation) makes the toast taller.
    toast->ensurePolished();
    const QFontMetrics metrics(toast->font());
    const QStringList lines = text.split(QLatin1Char('\n'));
    int textWidth = 0;
    for (const QString &line : lines)
        textWidth = qMax(textWidth, metrics.horizontalAdvance(line));
    if (textWidth > toast->width() - 64)
        toast->resize(textWidth + 80, toast->height());
    if (lines.size() > 1) {
        toast->setMaximumHeight(QWIDGETSIZE_MAX);
        toast->resize(toast->width(), toast->height() + (lines.size() - 1) * metrics.lineSpacing());
    }

    if (pos == QPoint(-1, -1))
        toast->move(qMax(0, (parent->width() - toast->width()) / 2),
                    parent->height() - toast->height() - 20);
    else
        toast->move(pos);

    if (!toastQueue) {
        toastQueue = toast;
        toast->startDisplay();
    } else {
        MessageBox *tail = toastQueue;
        while (tail->next)
            tail = tail->next;
        tail->next = toast;
        toast->hide();
    }
}

// A toast over a window that has since been hidden can't be seen, yet the head holds the
// screen for its whole display time: the sign-in time-out toast (100 s over the login
// dialog) would keep every later toast waiting invisibly once a retry signs in.
void MessageBox::dropHeadsOverHiddenWindows()
{
    bool dropped = false;
    while (toastQueue && !toastQueue->window()->isVisible()) {
        MessageBox *gone = toastQueue;
        toastQueue = gone->next;
        gone->next = nullptr;
        gone->hide();
        gone->deleteLater();
        dropped = true;
    }
    if (dropped && toastQueue)
        toastQueue->startDisplay();
}

MessageBox *MessageBox::queueHead()
{
    return toastQueue;
}

QString MessageBox::text() const
{
    return ui->msgLabel->text();
}

bool MessageBox::isFading() const
{
    return fadeAnimation->state() == QAbstractAnimation::Running;
}

void MessageBox::startDisplay()
{
    timerId = startTimer(durationMs, Qt::CoarseTimer);
    opacityEffect->setOpacity(1.0);
    raise();
    show();
}

void MessageBox::startFade()
{
    fadeAnimation->start();
}

void MessageBox::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == timerId) {
        killTimer(timerId);
        timerId = -1;
        startFade();
        return;
    }
    QWidget::timerEvent(event);
}

void MessageBox::OnCloseClicked()
{
    if (isFading())
        return;
    if (timerId != -1) {
        killTimer(timerId);
        timerId = -1;
    }
    startFade();
}

void MessageBox::OnFadeFinished()
{
    // Hide before handing over, so that two toasts are never on screen together.
    hide();
    if (toastQueue == this) {
        toastQueue = next;
        next = nullptr;
        if (toastQueue)
            toastQueue->startDisplay();
    }
    deleteLater();
}
