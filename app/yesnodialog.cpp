#include "app/yesnodialog.h"
#include "ui_yesnodialog.h"

#include <QMouseEvent>

YesNoDialog::YesNoDialog(const QString &text, QWidget *parent)
    : QDialog(parent), ui(new Ui::YesNoDialog), dragOrigin(0, 0)
{
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui->label_tip->setText(text);
    connect(ui->btn_yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btn_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

YesNoDialog::~YesNoDialog()
{
    delete ui;
}

void YesNoDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->pos().y() < ui->title->height())
        dragOrigin = event->pos();
    else
        dragOrigin = QPoint(-1, -1);
    QDialog::mousePressEvent(event);
}

void YesNoDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (dragOrigin != QPoint(-1, -1))
        move(pos() + event->pos() - dragOrigin);
    QDialog::mouseMoveEvent(event);
}

void YesNoDialog::mouseReleaseEvent(QMouseEvent *event)
{
    dragOrigin = QPoint(-1, -1);
    QDialog::mouseReleaseEvent(event);
}
