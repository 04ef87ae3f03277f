#ifndef KELVORA_TASKLISTITEMWIDGET_H
#define KELVORA_TASKLISTITEMWIDGET_H

#include "transfer/task.h"
#include "transfer/tasklistitemhelper.h"

#include <QPointer>
#include <QWidget>

class QListWidgetItem;
class TaskListWidget;

namespace Ui {
class TaskListItemWidget;
}

// One row of a transfer list: icon, name, size, status, speed, a start/pause and a delete
// button, and the progress as a light band behind it. It never owns its task; a task that goes
// away leaves a row that shows nothing more until the list drops it.
class TaskListItemWidget : public QWidget, public TaskListItemHelper
{
    Q_OBJECT

public:
    // Also records listItem in the task, so the task's row can be found.
    TaskListItemWidget(Task *task, QListWidgetItem *listItem, TaskListWidget *list);
    ~TaskListItemWidget() override;

    Task *task() const override { return task_; }
    QListWidgetItem *listItem() const { return item; }
    // The share of the row's width the band covers, in pixels, for a row width.
    static int bandWidth(int width, qint64 completed, qint64 total);

signals:
    void deleteTask(Task *task, bool onlyNotShow);

public slots:
    void UpdateProgress(Task *task);
    void OnStateChanged(Task *task);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void OnStartClicked();
    void OnDeleteClicked();
    void updateTexts();
    void elideName();

    Ui::TaskListItemWidget *ui;
    QPointer<Task> task_;
    QListWidgetItem *item;
    TaskListWidget *list;
    QString fileName;
};

#endif
