#ifndef KELVORA_TASKLISTCOMPLETEITEMWIDGET_H
#define KELVORA_TASKLISTCOMPLETEITEMWIDGET_H

#include "transfer/tasklistitemhelper.h"

#include <QWidget>

class QListWidgetItem;
class TaskListWidget;

namespace Ui {
class TaskListCompleteItemWidget;
}

// The header of a transfer list's completed section: "已完成 N个文件！" and " 清除记录 ",
// which clears the section.
class TaskListCompleteItemWidget : public QWidget, public TaskListItemHelper
{
    Q_OBJECT

public:
    TaskListCompleteItemWidget(QListWidgetItem *listItem, TaskListWidget *list);
    ~TaskListCompleteItemWidget() override;

    Task *task() const override { return nullptr; }
    void setTitle(const QString &text);
    QString title() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Ui::TaskListCompleteItemWidget *ui;
    QListWidgetItem *item;
    TaskListWidget *list;
};

#endif
