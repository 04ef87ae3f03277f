#include "transfer/taskmanager.h"

#include "device/devicerecord.h"
#include "store/database.h"
#include "transfer/savename.h"

#include <QDebug>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

TaskManager::TaskManager(Task::DeviceSource currentDevice, QObject *parent)
    : QObject(parent), currentDevice(std::move(currentDevice))
{
    connect(this, &TaskManager::UpdateProgress, this, &TaskManager::OnUpdateProgress);
    connect(this, &TaskManager::StateChanged, this, &TaskManager::OnStateChanged);
    queueTimer = new QTimer(this);
    connect(queueTimer, &QTimer::timeout, this, qOverload<>(&TaskManager::runQueue));
    queueTimer->start(1000);
}

TaskManager::~TaskManager()
{
    // The tasks go with the manager as its children; nothing of theirs reaches it meanwhile.
    for (Task *task : findChildren<Task *>(QString(), Qt::FindDirectChildrenOnly))
        task->disconnect(this);
}

Task *TaskManager::createTask(const QString &deviceId, int kind, const QString &remotePath,
                              const QString &localPath, qint64 total)
{
    auto *task = new Task(kind, this);
    task->setDeviceId(deviceId);
    task->setRemotePath(remotePath);
    task->setLocalPath(localPath);
    task->setBytesTotal(total);
    if (total == 0 && kind == Task::Upload)
        task->setBytesTotal(QFileInfo(localPath).size());
    if (kind == Task::Download) {
        // Two downloads must never share a temporary file.
        QSet<QString> taken;
        for (const Task *other : qAsConst(downloads))
            taken.insert(other->localPath());
        if (taken.contains(localPath)) {
            const QFileInfo info(localPath);
            task->setLocalPath(SaveName::nextFree(info.absolutePath(), info.fileName(), taken));
        }
    }
    // The row exists before the first status change is written to it.
    AddTask(task->kind(), task->id(), deviceId, remotePath, task->localPath(),
            task->bytesCompleted(), task->bytesTotal(), task->status(), task->createTime());
    addTask(task);
    return task;
}

void TaskManager::addTask(Task *task)
{
    (task->kind() == Task::Download ? downloads : uploads).append(task);
    task->setDeviceSource(currentDevice);
    connect(task, &Task::UpdateProgress, this, &TaskManager::UpdateProgress);
    connect(task, &Task::StateChanged, this, &TaskManager::StateChanged);
    connect(task, &Task::localPathChanged, this, &TaskManager::OnLocalPathChanged);
    connect(task, &Task::replyError, this, &TaskManager::networkError);
    emit addOneTask(task);
    emit UpdateProgress(nullptr);
    task->queue();
    runQueue();
}

void TaskManager::runQueue(const QList<Task *> &list)
{
    Task *next = nullptr;
    for (Task *task : list) {
        if (task->status() == Task::Running)
            return;
        if (!next && (task->status() == Task::Waiting || task->status() == Task::Queued))
            next = task;
    }
    if (next)
        next->start();
}

void TaskManager::runQueue()
{
    runQueue(uploads);
    runQueue(downloads);
    emit UpdateProgress(nullptr);
}

void TaskManager::store(Task *task)
{
    UpdateTask(task->kind(), task->idText(), task->bytesCompleted(), task->bytesTotal(),
               task->status());
}

void TaskManager::OnUpdateProgress(Task *) {}

void TaskManager::OnStateChanged(Task *task)
{
    if (!task)
        return;
    // The task has made its count durable before announcing the change.
    store(task);
    if (task->status() == Task::Complete)
        runQueue();
}

void TaskManager::OnLocalPathChanged(Task *task)
{
    UpdateTaskLocalPath(task->kind(), task->idText(), task->localPath());
}

void TaskManager::deleteTask(Task *task, bool onlyNotShow)
{
    if (!task || !(downloads.contains(task) || uploads.contains(task)))
        return;
    if (!onlyNotShow)
        DeleteTask(task->kind(), task->idText());
    task->disconnect(this);
    if (task->kind() == Task::Download) {
        task->discard();
        downloads.removeOne(task);
    } else {
        uploads.removeOne(task);
    }
    emit UpdateProgress(nullptr);
    delete task;
}

void TaskManager::OnCurrentDeviceChanged()
{
    for (QList<Task *> *list : {&uploads, &downloads}) {
        for (Task *task : qAsConst(*list)) {
            task->disconnect(this);
            task->syncProgress();
            store(task);
            delete task;
        }
        list->clear();
    }
    emit taskReset();
    loadTasks();
}

void TaskManager::loadTasks()
{
    const DeviceRecord *device = currentDevice ? currentDevice() : nullptr;
    if (!device)
        return;
    for (const int kind : {int(Task::Upload), int(Task::Download)}) {
        for (const TaskRecord &row : LoadTasks(kind, device->deviceid)) {
            // A transfer whose local side is gone cannot go on: an upload's file, or the part
            // a download had already fetched.
            const bool gone =
                kind == Task::Upload
                    ? !QFileInfo::exists(row.localPath)
                    : row.bytesCompleted > 0 &&
                          !QFileInfo::exists(row.localPath + QStringLiteral(".vbxdl"));
            if (gone) {
                DeleteTask(kind, row.taskId);
                continue;
            }
            addTask(new Task(
                kind, QUuid(row.taskId), row.deviceId, row.remotePath, row.localPath,
                row.bytesCompleted, row.bytesTotal, row.status,
                QDateTime::fromString(row.createTime, QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                this));
        }
    }
}

void TaskManager::saveAll()
{
    for (QList<Task *> *list : {&uploads, &downloads}) {
        for (Task *task : qAsConst(*list)) {
            task->syncProgress();
            store(task);
        }
        list->clear();
    }
}

void TaskManager::pauseAll(int kind)
{
    // A copy: pausing may make a task announce changes whose receivers touch the lists.
    const QList<Task *> list = kind == Task::Upload ? uploads : downloads;
    for (Task *task : list)
        task->pause();
}

TaskSummary TaskManager::summary(int kind) const
{
    TaskSummary sum;
    for (const Task *task : kind == Task::Upload ? uploads : downloads) {
        ++sum.count;
        if (task->status() == Task::Complete)
            ++sum.completedCount;
        sum.totalBytes += task->bytesTotal();
        sum.completedBytes += task->bytesCompleted();
        sum.speed += task->speed();
    }
    return sum;
}
