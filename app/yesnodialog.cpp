#include "app/yesnodialog.h"
#include "ui_yesnodialog.h"

#include "app/framelessdrag.h"

YesNoDialog::YesNoDialog(const QString &text, QWidget *parent)
    : QDialog(parent), ui(new Ui::YesNoDialog)
{
    ui->setupUi(this);
    new FramelessDrag(this, ui->title);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui->label_tip->setText(text);
    connect(ui->btn_yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btn_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    ui->btnClose->setToolTip(tr("关闭"));
    ui->btnClose->setAccessibleName(tr("关闭"));
}

YesNoDialog::~YesNoDialog()
{
    delete ui;
}
