#include "transfer/tasklistcompleteitemwidget.h"
#include "ui_tasklistcompleteitemwidget.h"

#include "transfer/tasklistwidget.h"

#include <QPainter>

TaskListCompleteItemWidget::TaskListCompleteItemWidget(QListWidgetItem *listItem,
                                                       TaskListWidget *list)
    : QWidget(list), ui(new Ui::TaskListCompleteItemWidget), item(listItem), list(list)
{
    ui->setupUi(this);
    connect(ui->clearButton, &QPushButton::clicked, list, &TaskListWidget::clearCompleted);
}

TaskListCompleteItemWidget::~TaskListCompleteItemWidget()
{
    delete ui;
}

void TaskListCompleteItemWidget::setTitle(const QString &text)
{
    ui->titleLabel->setText(text);
}

QString TaskListCompleteItemWidget::title() const
{
    return ui->titleLabel->text();
}

void TaskListCompleteItemWidget::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), Qt::white);
}
