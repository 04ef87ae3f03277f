#ifndef KELVORA_RESIZELABEL_H
#define KELVORA_RESIZELABEL_H

#include <QLabel>
#include <QPoint>

// Grip in a frameless window's corner: drags become resize steps.
class ResizeLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ResizeLabel(QWidget *parent = nullptr);

signals:
    // Offset of the pointer from the press point, in the label's coordinates.
    void resizeWindow(int dx, int dy);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QPoint dragOrigin;
};

#endif
