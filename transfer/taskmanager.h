#ifndef KELVORA_TASKMANAGER_H
#define KELVORA_TASKMANAGER_H

#include "transfer/task.h"

#include <QList>
#include <QNetworkReply>
#include <QObject>

class QTimer;

// Totals of one transfer list.
struct TaskSummary
{
    int count = 0;
    int completedCount = 0;
    qint64 totalBytes = 0;
    qint64 completedBytes = 0;
    int speed = 0;
};

// Owns the transfers of the current device: one list of downloads and one of uploads, each
// run one task at a time in list order, every task kept in the database and reloaded from it
// whenever the current device changes.
//
//   TaskManager manager([window] { return window->currentDevice(); });
//   connect(window, &Window::currentDeviceChanged, &manager, &TaskManager::OnCurrentDeviceChanged);
//   manager.createTask(deviceid, Task::Download, "/media/sda1/a.iso", "/home/me/a.iso", size);
//   ...
//   manager.saveAll(); // before the program ends
class TaskManager : public QObject
{
    Q_OBJECT

public:
    explicit TaskManager(Task::DeviceSource currentDevice, QObject *parent = nullptr);
    ~TaskManager() override;

    // kind 0 download, 1 upload; a total of 0 for an upload means the local file's size. A
    // download whose local path another download of the list already uses gets the next free
    // name.
    Task *createTask(const QString &deviceId, int kind, const QString &remotePath,
                     const QString &localPath, qint64 total);
    // Writes every task's row; the tasks stay until the manager goes.
    void saveAll();
    // kind 1 uploads, any other value downloads.
    void pauseAll(int kind);
    TaskSummary summary(int kind) const;
    const QList<Task *> &downloadList() const { return downloads; }
    const QList<Task *> &uploadList() const { return uploads; }
    // Adds the current device's unfinished transfers from the database.
    void loadTasks();

signals:
    void addOneTask(Task *task);
    // Also with a null task after the lists changed, to refresh totals.
    void UpdateProgress(Task *task);
    void StateChanged(Task *task);
    void taskReset();
    void networkError(QNetworkReply::NetworkError code);

public slots:
    void deleteTask(Task *task, bool onlyNotShow);
    void OnUpdateProgress(Task *task);
    void OnStateChanged(Task *task);
    void OnCurrentDeviceChanged();

private:
    void addTask(Task *task);
    void runQueue();
    static void runQueue(const QList<Task *> &list);
    void store(Task *task);
    void OnLocalPathChanged(Task *task);

    QList<Task *> downloads;
    QList<Task *> uploads;
    QTimer *queueTimer = nullptr;
    Task::DeviceSource currentDevice;
};

#endif
