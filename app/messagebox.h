#ifndef KELVORA_MESSAGEBOX_H
#define KELVORA_MESSAGEBOX_H

#include <QPoint>
#include <QWidget>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace Ui {
class MessageBox;
}

// Kinds of toast; they pick the icon.
enum MessageKind
{
    Error = 0,
    Done = 1,
    Info = 2
};

// A toast shown over a parent widget for a while, then faded out. Toasts are queued
// process-wide: only the head of the queue is on screen.
class MessageBox : public QWidget
{
    Q_OBJECT

public:
    // durationMs -1 means 2000 ms; pos (-1,-1) means centred 20 px above the parent's bottom.
    static void showMessage(int kind, const QString &text, QWidget *parent, bool closable = false,
                            int durationMs = -1, QPoint pos = QPoint(-1, -1));
    // As showMessage, for a toast of a kind that comes in bursts (a transfer finished): once a
    // few of the same group wait their turn, the newest of them gives its place to this one, so
    // a burst leaves a few waiting instead of minutes of them.
    static void showLatest(const QString &group, int kind, const QString &text, QWidget *parent,
                           bool closable = false, int durationMs = -1);

    ~MessageBox() override;

    // The toast on screen, or null.
    static MessageBox *queueHead();
    MessageBox *nextToast() const { return next; }
    QString text() const;
    int duration() const { return durationMs; }
    bool isDisplayTimerRunning() const { return timerId != -1; }
    bool isFading() const;

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    explicit MessageBox(QWidget *parent);

    static void dropHeadsOverHiddenWindows();
    static void enqueue(int kind, const QString &text, QWidget *parent, bool closable,
                        int durationMs, QPoint pos, const QString &group);
    void startDisplay();
    void startFade();
    void OnCloseClicked();
    void OnFadeFinished();

    MessageBox *next = nullptr;
    Ui::MessageBox *ui;
    QGraphicsOpacityEffect *opacityEffect;
    QPropertyAnimation *fadeAnimation;
    int timerId = -1;
    int durationMs = 2000;
    QPoint position;
    QString group;
};

#endif
