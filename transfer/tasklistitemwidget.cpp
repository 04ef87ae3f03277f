#include "transfer/tasklistitemwidget.h"
#include "ui_tasklistitemwidget.h"

#include "app/hidpipixmap.h"
#include "app/yesnodialog.h"
#include "browse/filetexts.h"
#include "transfer/task.h"
#include "transfer/tasklistwidget.h"

#include <QDir>
#include <QListWidgetItem>
#include <QPainter>

namespace {

const char *startStyle = "background-image: url(:/image/start.png); background-repeat:no-repeat; "
                         "background-position:center; height:11px;width:9px;";
const char *pauseStyle = "background-image: url(:/image/pause.png); background-repeat:no-repeat; "
                         "background-position:center; height:10px;width:10px;";

QString statusText(int kind, int status)
{
    const bool up = kind == Task::Upload;
    switch (status) {
    case Task::Waiting:
        return up ? TaskListItemWidget::tr("等待上传") : TaskListItemWidget::tr("等待下载");
    case Task::Running:
        return up ? TaskListItemWidget::tr("正在上传") : TaskListItemWidget::tr("正在下载");
    case Task::Paused:
        return up ? TaskListItemWidget::tr("暂停上传") : TaskListItemWidget::tr("暂停下载");
    case Task::Complete:
        return up ? TaskListItemWidget::tr("上传完成") : TaskListItemWidget::tr("下载完成");
    case Task::Failed:
        return up ? TaskListItemWidget::tr("上传失败") : TaskListItemWidget::tr("下载失败");
    case Task::Queued:
        return TaskListItemWidget::tr("排队中");
    default:
        return QString();
    }
}

} // namespace

TaskListItemWidget::TaskListItemWidget(Task *task, QListWidgetItem *listItem, TaskListWidget *list)
    : QWidget(list), ui(new Ui::TaskListItemWidget), task_(task), item(listItem), list(list)
{
    ui->setupUi(this);
    task->setListItem(listItem);
    // The file's own name: the local one for an upload, the device's for a download.
    const QString path = task->kind() == Task::Upload ? task->localPath() : task->remotePath();
    fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    ui->iconLabel->setPixmap(hiDpiPixmap(fileIconPath(fileName, true), this));
    ui->nameLabel->setText(fileName);
    ui->statusLabel->setText(statusText(task->kind(), Task::Waiting));
    ui->deleteButton->setStyleSheet(
        QStringLiteral("background-image: url(:/image/delete.png); background-repeat:no-repeat; "
                       "background-position:center;height:10px;width:11px;"));

    connect(task, &Task::UpdateProgress, this, &TaskListItemWidget::UpdateProgress);
    connect(task, &Task::StateChanged, this, &TaskListItemWidget::OnStateChanged);
    connect(this, &TaskListItemWidget::deleteTask, list, &TaskListWidget::deleteTask);
    connect(ui->startButton, &QPushButton::clicked, this, &TaskListItemWidget::OnStartClicked);
    connect(ui->deleteButton, &QPushButton::clicked, this, &TaskListItemWidget::OnDeleteClicked);
    OnStateChanged(task);
}

TaskListItemWidget::~TaskListItemWidget()
{
    if (task_ && task_->listItem() == item)
        task_->setListItem(nullptr);
    delete ui;
}

int TaskListItemWidget::bandWidth(int width, qint64 completed, qint64 total)
{
    if (total <= 0 || completed <= 0)
        return 0;
    return int(qint64(width) * qMin(completed, total) / total);
}

void TaskListItemWidget::updateTexts()
{
    if (!task_)
        return;
    ui->speedLabel->setText(formatFileSize(quint64(qMax(0, task_->speed()))) +
                            QStringLiteral("/s"));
    ui->sizeLabel->setText(formatFileSize(quint64(qMax<qint64>(0, task_->bytesTotal()))));
}

void TaskListItemWidget::UpdateProgress(Task *)
{
    updateTexts();
    update();
}

void TaskListItemWidget::OnStateChanged(Task *)
{
    if (!task_)
        return;
    const int status = task_->status();
    ui->statusLabel->setStyleSheet(QStringLiteral("color:#a0a0a0"));
    const bool running = status == Task::Running || status == Task::Queued;
    ui->startButton->setStyleSheet(QLatin1String(running ? pauseStyle : startStyle));
    ui->startButton->setToolTip(running ? tr("暂停") : tr("开始"));
    if (status == Task::Failed)
        ui->statusLabel->setStyleSheet(QStringLiteral("color:red"));
    const bool complete = status == Task::Complete;
    ui->startButton->setVisible(!complete);
    ui->deleteButton->setVisible(!complete);
    ui->speedLabel->setVisible(!complete);
    ui->statusLabel->setText(complete ? task_->createTime().toString(QStringLiteral("yyyy-MM-dd"))
                                      : statusText(task_->kind(), status));
    // The reason of a failure, else where the file is.
    const QString reason = task_->failureReason();
    setToolTip(status == Task::Failed && !reason.isEmpty()
                   ? tr("%1：%2").arg(statusText(task_->kind(), status), reason)
                   : QDir::toNativeSeparators(task_->localPath()));
    updateTexts();
    update();
}

void TaskListItemWidget::OnStartClicked()
{
    if (!task_)
        return;
    switch (task_->status()) {
    case Task::Running:
    case Task::Queued:
        task_->pause();
        break;
    case Task::Waiting:
    case Task::Paused:
    case Task::Failed:
        task_->queue();
        break;
    default:
        break;
    }
}

void TaskListItemWidget::OnDeleteClicked()
{
    QPointer<TaskListItemWidget> self(this);
    YesNoDialog dialog(tr("确定要删除该任务吗？"), window());
    const bool yes = dialog.exec() == QDialog::Accepted;
    // Meanwhile the task may have completed (its row was replaced) or the lists were reset.
    if (!yes || !self || !task_)
        return;
    const int row = list->row(item);
    if (row < 0)
        return;
    Task *doomed = task_;
    QListWidgetItem *taken = list->takeItem(row);
    emit deleteTask(doomed, false);
    TaskListWidget *owner = list;
    // The item's widget (this) goes with it.
    delete taken;
    owner->OnContentChagne();
}

void TaskListItemWidget::paintEvent(QPaintEvent *)
{
    if (!task_ || task_->status() == Task::Complete)
        return;
    const int right = bandWidth(width(), task_->bytesCompleted(), task_->bytesTotal());
    if (right <= 0)
        return;
    QPainter painter(this);
    painter.fillRect(QRect(0, 1, right, height() - 1), QColor(QStringLiteral("#eef4fd")));
}

void TaskListItemWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elideName();
}

void TaskListItemWidget::elideName()
{
    const QString shown =
        ui->nameLabel->fontMetrics().elidedText(fileName, Qt::ElideMiddle, ui->nameLabel->width());
    ui->nameLabel->setText(shown);
    ui->nameLabel->setToolTip(shown == fileName ? QString() : fileName);
}
