#include "transfer/tasklistwidget.h"

#include "transfer/task.h"
#include "transfer/tasklistcompleteitemwidget.h"
#include "transfer/tasklistitemwidget.h"

namespace {

TaskListItemHelper *helperOf(QWidget *widget)
{
    if (auto *row = qobject_cast<TaskListItemWidget *>(widget))
        return row;
    return qobject_cast<TaskListCompleteItemWidget *>(widget);
}

} // namespace

TaskListWidget::TaskListWidget(QWidget *parent)
    : QListWidget(parent),
      normalStyleSheet(QStringLiteral(
          "QListWidget::item{height:48px;}QListWidget::item:selected{background: "
          "white;border: 1px solid #dce0e4;}QListWidget::item:hover{background: white;border: "
          "1px solid #dce0e4;}"))
{
    // Every row is 48 px high: the view need not ask each of a thousand rows for its size.
    setUniformItemSizes(true);
    setStyleSheet(normalStyleSheet);
    OnContentChagne();
}

Task *TaskListWidget::taskAt(int row) const
{
    TaskListItemHelper *helper = helperOf(itemWidget(item(row)));
    return helper ? helper->task() : nullptr;
}

int TaskListWidget::completedHeaderRow() const
{
    return headerItem ? row(headerItem) : -1;
}

int TaskListWidget::completedCount() const
{
    const int header = completedHeaderRow();
    return header < 0 ? 0 : count() - header - 1;
}

void TaskListWidget::setStyleSheetOnce(const QString &sheet)
{
    // Setting a sheet polishes every row again, also when it is the same sheet.
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
}

void TaskListWidget::OnContentChagne()
{
    setStyleSheetOnce(count() > 0 ? normalStyleSheet
                                  : QStringLiteral("background-image:url(:/image/empty.png);"
                                                   "background-repeat:none;background-position:"
                                                   "center;"));
}

void TaskListWidget::showCompletedHeader(bool show)
{
    if (!headerItem) {
        headerItem = new QListWidgetItem;
        headerWidget = new TaskListCompleteItemWidget(headerItem, this);
    }
    if (show) {
        if (row(headerItem) < 0) {
            addItem(headerItem);
            setItemWidget(headerItem, headerWidget);
        }
        headerWidget->setTitle(tr("已完成 %1个文件！").arg(completedCount()));
        return;
    }
    const int at = row(headerItem);
    delete headerWidget;
    if (at >= 0)
        delete takeItem(at);
    else
        delete headerItem;
    headerItem = nullptr;
    headerWidget = nullptr;
}

void TaskListWidget::forgetCompletedHeader()
{
    headerItem = nullptr;
    headerWidget = nullptr;
}

void TaskListWidget::removeRow(int at, bool deleteIt, bool onlyNotShow)
{
    QListWidgetItem *taken = item(at);
    QWidget *widget = itemWidget(taken);
    Task *task = taskAt(at);
    // The widget first, at once: a thousand rows must not wait for the event loop to go.
    delete widget;
    delete takeItem(at);
    if (deleteIt && task)
        emit deleteTask(task, onlyNotShow);
}

void TaskListWidget::clearCompleted()
{
    const int header = completedHeaderRow();
    if (header < 0)
        return;
    for (int at = count() - 1; at > header; --at)
        removeRow(at, true, true);
    showCompletedHeader(false);
    OnContentChagne();
}

void TaskListWidget::deleteUnfinished()
{
    for (int at = count() - 1; at >= 0; --at) {
        Task *task = taskAt(at);
        if (task && task->status() != Task::Complete)
            removeRow(at, true, false);
    }
    OnContentChagne();
}

void TaskListWidget::clearRows()
{
    for (int at = count() - 1; at >= 0; --at)
        delete itemWidget(item(at));
    clear();
}

void TaskListWidget::addTaskRow(Task *task)
{
    const bool complete = task->status() == Task::Complete;
    if (complete)
        showCompletedHeader(true);
    auto *entry = new QListWidgetItem;
    const int header = completedHeaderRow();
    if (header >= 0 && !complete)
        insertItem(header, entry);
    else
        addItem(entry);
    setItemWidget(entry, new TaskListItemWidget(task, entry, this));
    if (complete)
        showCompletedHeader(true);
    OnContentChagne();
}

void TaskListWidget::moveToCompleted(Task *task)
{
    int at = task->listItem() ? row(task->listItem()) : -1;
    if (at < 0 || taskAt(at) != task) {
        for (at = count() - 1; at >= 0 && taskAt(at) != task; --at) {
        }
    }
    if (at >= 0)
        removeRow(at, false, false);
    showCompletedHeader(true);
    auto *entry = new QListWidgetItem;
    addItem(entry);
    setItemWidget(entry, new TaskListItemWidget(task, entry, this));
    showCompletedHeader(true);
}
