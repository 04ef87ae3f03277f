#ifndef KELVORA_FRAMELESSDRAG_H
#define KELVORA_FRAMELESSDRAG_H

#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;

// Moves a frameless window by dragging its title area with the left button. A press inside
// the band (above the bottom of `handle`, or anywhere when there is no handle) starts a drag,
// a release ends it; a press outside the band never moves the window. The events still reach
// the window. Owned by the window:
//   new FramelessDrag(this, ui->title);
class FramelessDrag : public QObject
{
    Q_OBJECT

public:
    explicit FramelessDrag(QWidget *window, QWidget *handle = nullptr);

    bool isDragging() const { return origin != QPoint(-1, -1); }
    // True when a press at pos (window coordinates) would start a drag.
    bool inBand(QPoint pos) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
    QPointer<QWidget> handle;
    // Press position inside the window; (-1,-1) while no drag is under way.
    QPoint origin{-1, -1};
};

#endif
