#ifndef KELVORA_TASKLISTWIDGET_H
#define KELVORA_TASKLISTWIDGET_H

#include <QListWidget>

class Task;
class TaskListCompleteItemWidget;

// A transfer list: rows of unfinished tasks, then (once a task completed) the completed
// section's header and the completed rows. An empty list shows the empty picture. Rows ask
// for their task's deletion through deleteTask(), which the window hands to the task manager.
class TaskListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit TaskListWidget(QWidget *parent = nullptr);

    // Row of the completed section's header; -1 when there is none.
    int completedHeaderRow() const;
    void showCompletedHeader(bool show);
    // After the rows were cleared from outside: the header went with them.
    void forgetCompletedHeader();
    // Removes every row whose task is unfinished and has the manager delete its task.
    void deleteUnfinished();
    // Removes the completed section; the tasks leave memory, their database rows stay.
    void clearCompleted();
    // Removes every row (and its widget at once).
    void clearRows();

    // A new row for task: above the completed section, or at the end for a completed task.
    void addTaskRow(Task *task);
    // The task completed: its row moves below the completed header.
    void moveToCompleted(Task *task);
    Task *taskAt(int row) const;
    // Rows below the header.
    int completedCount() const;

signals:
    void deleteTask(Task *task, bool onlyNotShow);

public slots:
    void OnContentChagne();

private:
    void removeRow(int row, bool deleteIt, bool onlyNotShow);
    void setStyleSheetOnce(const QString &sheet);

    QListWidgetItem *headerItem = nullptr;
    TaskListCompleteItemWidget *headerWidget = nullptr;
    QString normalStyleSheet;
};

#endif
