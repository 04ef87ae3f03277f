#include "app/transferactions.h"

#include "app/messagebox.h"
#include "app/yesnodialog.h"
#include "browse/devicepathdialog.h"
#include "browse/fileentry.h"
#include "browse/fileitemicon.h"
#include "browse/fileitemlist.h"
#include "browse/filepaths.h"
#include "browse/filetexts.h"
#include "device/deviceitem.h"
#include "store/database.h"
#include "transfer/freespace.h"
#include "transfer/recentfile.h"
#include "transfer/savename.h"
#include "transfer/task.h"
#include "transfer/tasklistwidget.h"
#include "transfer/taskmanager.h"
#include "transfer/transfertotals.h"

#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {

// A selection of thousands must not set as many marks flying.
const int maxFlyingIcons = 20;
const int flightMs = 1000;

// One transaction around many task rows: each would otherwise wait for the disk on its own.
class DatabaseBatch
{
public:
    DatabaseBatch() : open(BeginTransaction()) {}
    ~DatabaseBatch()
    {
        if (open)
            CommitTransaction();
    }
    DatabaseBatch(const DatabaseBatch &) = delete;
    DatabaseBatch &operator=(const DatabaseBatch &) = delete;

private:
    bool open;
};

// The file-type picture of an entry's tile or row; null when it shows none.
QPixmap entryPixmap(QListWidget *list, QListWidgetItem *item)
{
    QWidget *widget = list->itemWidget(item);
    QLabel *icon = nullptr;
    if (auto *tile = qobject_cast<FileItemIcon *>(widget))
        icon = tile->iconLabel();
    else if (auto *row = qobject_cast<FileItemList *>(widget))
        icon = row->iconLabel();
    else if (widget)
        icon = widget->findChild<QLabel *>(QStringLiteral("iconLabel"));
    return icon ? icon->pixmap(Qt::ReturnByValue) : QPixmap();
}

void fly(QWidget *mark, const QByteArray &property, const QVariant &to)
{
    auto *animation = new QPropertyAnimation(mark, property);
    animation->setDuration(flightMs);
    animation->setEasingCurve(QEasingCurve::InOutCubic);
    animation->setEndValue(to);
    QObject::connect(animation, &QPropertyAnimation::finished, mark, [mark] {
        mark->hide();
        mark->deleteLater();
    });
    mark->show();
    mark->raise();
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace

QStringList TransferDialogs::uploadFiles(QWidget *window)
{
    return QFileDialog::getOpenFileNames(window, TransferActions::tr("请选择文件"), QString(),
                                         QString());
}

bool TransferDialogs::uploadDestination(QWidget *window, DeviceItem *device, QString *folder)
{
    DevicePathDialog dialog(window, device);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *folder = dialog.listedPath;
    return true;
}

QString TransferDialogs::saveFolder(QWidget *window, const QString &start)
{
    return QFileDialog::getExistingDirectory(window, TransferActions::tr("选择保存目录"), start,
                                             QFileDialog::ShowDirsOnly |
                                                 QFileDialog::DontResolveSymlinks);
}

bool TransferDialogs::confirm(QWidget *window, const QString &text)
{
    YesNoDialog dialog(text, window);
    return dialog.exec() == QDialog::Accepted;
}

TransferActions::TransferActions(const Widgets &widgets, TaskManager *manager, QSettings *settings,
                                 DeviceSource currentDevice, QWidget *window)
    : QObject(window), ui(widgets), manager(manager), settings(settings),
      currentDevice(std::move(currentDevice)), window(window)
{
    saveFolder = settings->value(QStringLiteral("settings/lastsavepath")).toString();
    recentReload = new QTimer(this);
    recentReload->setSingleShot(true);
    connect(recentReload, &QTimer::timeout, this, [this] {
        if (ui.recent)
            ui.recent->initItem();
    });
    if (ui.dropArea) {
        ui.dropArea->setAcceptDrops(true);
        ui.dropArea->installEventFilter(this);
    }
    connect(ui.pauseAllUploads, &QPushButton::clicked, this, [this] { pauseAll(Task::Upload); });
    connect(ui.pauseAllDownloads, &QPushButton::clicked, this,
            [this] { pauseAll(Task::Download); });
    connect(ui.cancelAllUploads, &QPushButton::clicked, this, [this] { cancelAll(Task::Upload); });
    connect(ui.cancelAllDownloads, &QPushButton::clicked, this,
            [this] { cancelAll(Task::Download); });
    for (TaskListWidget *list : {ui.uploads, ui.downloads}) {
        connect(list, &TaskListWidget::deleteTask, manager, &TaskManager::deleteTask);
    }
}

TransferActions::~TransferActions() = default;

void TransferActions::setDialogs(TransferDialogs *replacement)
{
    dialogs = replacement ? replacement : &defaultDialogs;
}

TaskListWidget *TransferActions::listOf(int kind) const
{
    if (kind == Task::Upload)
        return ui.uploads;
    if (kind == Task::Download)
        return ui.downloads;
    return nullptr;
}

// ---- upload ---------------------------------------------------------------------------------

void TransferActions::upload()
{
    if (!currentDevice())
        return;
    const QStringList files = dialogs->uploadFiles(window);
    if (!files.isEmpty())
        uploadFiles(files);
}

void TransferActions::uploadFiles(const QStringList &chosen)
{
    QPointer<DeviceItem> device = currentDevice();
    if (!device)
        return;
    QStringList files;
    for (const QString &file : chosen) {
        if (QFileInfo(file).isFile())
            files.append(file);
    }
    if (files.isEmpty())
        return;
    const QString deviceId = device->deviceid;
    QString destination;
    if (!dialogs->uploadDestination(window, device, &destination))
        return;
    // The folder belongs to the device the picker listed: not to one chosen meanwhile.
    DeviceItem *now = currentDevice();
    if (!now || now->deviceid != deviceId)
        return;
    flyUploadDot();
    {
        DatabaseBatch batch;
        for (const QString &file : qAsConst(files)) {
            qDebug() << "file: " + file << "Dest:" << destination;
            manager->createTask(deviceId, Task::Upload, destination, file, 0);
        }
    }
    emit uploadListRequested();
}

QStringList TransferActions::droppedFiles(const QList<QUrl> &urls)
{
    QStringList files;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile()) {
            files.append(info.absoluteFilePath());
        } else if (info.isDir()) {
            const QFileInfoList inside =
                QDir(info.absoluteFilePath())
                    .entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo &file : inside)
                files.append(file.absoluteFilePath());
        }
    }
    return files;
}

bool TransferActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui.dropArea)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const QMimeData *mime = drag->mimeData();
        if (currentDevice() && mime && mime->hasUrls() && !droppedFiles(mime->urls()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList files =
            drop->mimeData() ? droppedFiles(drop->mimeData()->urls()) : QStringList();
        if (files.isEmpty())
            return true;
        drop->acceptProposedAction();
        // The picker is modal: it opens after the drop has ended, so the source is not held.
        QTimer::singleShot(0, this, [this, files] { uploadFiles(files); });
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

// ---- download -------------------------------------------------------------------------------

void TransferActions::download(QListWidget *list)
{
    DeviceItem *device = currentDevice();
    if (!device || !list)
        return;
    const QString deviceId = device->deviceid;
    // The first time, the user's downloads folder.
    const QString start = saveFolder.isEmpty()
                              ? QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)
                              : saveFolder;
    const QString folder = dialogs->saveFolder(window, start);
    if (folder.isEmpty())
        return;
    saveFolder = folder;
    settings->setValue(QStringLiteral("settings/lastsavepath"), folder);
    DeviceItem *now = currentDevice();
    if (now && now->deviceid == deviceId)
        downloadInto(folder, list);
}

int TransferActions::downloadInto(const QString &folder, QListWidget *list)
{
    DeviceItem *device = currentDevice();
    if (!device || !list)
        return 0;
    QList<QListWidgetItem *> items;
    qint64 needed = 0;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem *item = list->item(row);
        if (!item->isSelected() || item->data(PathRole).toString().isEmpty() ||
            item->data(KindRole).toInt() == FolderKind)
            continue;
        items.append(item);
        needed += qint64(item->data(SizeRole).toULongLong());
    }
    if (items.isEmpty())
        return 0;

    const qint64 missing =
        FreeSpace::missing(FreeSpace::availableAt(folder), needed,
                           FreeSpace::pendingOn(folder, manager->downloadList()));
    if (missing > 0) {
        MessageBox::showMessage(Error, tr("磁盘空间不足，还差%1").arg(formatFileSize(missing)),
                                window, true, 3000);
        return 0;
    }

    QSet<QString> taken;
    for (const Task *task : manager->downloadList())
        taken.insert(task->localPath());
    int added = 0;
    int flying = 0;
    DatabaseBatch batch;
    for (QListWidgetItem *item : qAsConst(items)) {
        const QString remote = item->data(PathRole).toString();
        qDebug("download: %s", qUtf8Printable(FilePaths::encode(remote)));
        // An entry without a picture only goes without its flying mark.
        const QPixmap pixmap = entryPixmap(list, item);
        if (!pixmap.isNull() && flying < maxFlyingIcons) {
            const QRect shown = list->visualItemRect(item);
            if (list->viewport()->rect().intersects(shown)) {
                ++flying;
                flyIcon(pixmap, QRect(list->viewport()->mapTo(window, shown.topLeft()),
                                      pixmap.size() / pixmap.devicePixelRatio()));
            }
        }
        const QString local = SaveName::forRemotePath(folder, remote, taken);
        taken.insert(local);
        manager->createTask(device->deviceid, Task::Download, remote, local,
                            qint64(item->data(SizeRole).toULongLong()));
        ++added;
    }
    return added;
}

// ---- animations -----------------------------------------------------------------------------

QRect TransferActions::taskButtonRect() const
{
    if (!ui.taskButton)
        return QRect(408, 38, 24, 24);
    const QPoint centre = ui.taskButton->mapTo(window, ui.taskButton->rect().center());
    return QRect(centre - QPoint(12, 12), QSize(24, 24));
}

void TransferActions::flyUploadDot()
{
    auto *dot = new QLabel(window);
    QPoint from(57, 112);
    if (ui.uploadButton)
        from = ui.uploadButton->mapTo(window, ui.uploadButton->rect().center()) - QPoint(13, 13);
    dot->setGeometry(QRect(from, QSize(26, 26)));
    dot->setStyleSheet(QStringLiteral("background-color:#2aca41;border-radius:13px;"));
    fly(dot, "pos", taskButtonRect().center() - QPoint(13, 13));
}

void TransferActions::flyIcon(const QPixmap &pixmap, const QRect &from)
{
    auto *mark = new QLabel(window);
    mark->setScaledContents(true);
    mark->setPixmap(pixmap);
    mark->setGeometry(from);
    fly(mark, "geometry", taskButtonRect());
}

// ---- rows and totals ------------------------------------------------------------------------

void TransferActions::OnAddOneTask(Task *task)
{
    if (TaskListWidget *list = task ? listOf(task->kind()) : nullptr)
        list->addTaskRow(task);
}

void TransferActions::OnTaskChanged(Task *task)
{
    OnUpdateTaskInfo(task);
    if (!task || task->status() != Task::Complete)
        return;
    if (TaskListWidget *list = listOf(task->kind()))
        list->moveToCompleted(task);
}

void TransferActions::updateTotals(int kind)
{
    const TaskSummary sum = manager->summary(kind);
    const bool up = kind == Task::Upload;
    const bool shown = TransferTotals::visible(sum);
    for (QWidget *w : {static_cast<QWidget *>(up ? ui.upSpeed : ui.downSpeed),
                       static_cast<QWidget *>(up ? ui.upProgress : ui.downProgress),
                       static_cast<QWidget *>(up ? ui.pauseAllUploads : ui.pauseAllDownloads),
                       static_cast<QWidget *>(up ? ui.cancelAllUploads : ui.cancelAllDownloads)})
        w->setVisible(shown);
    if (!shown)
        return;
    (up ? ui.upSpeed : ui.downSpeed)->setText(TransferTotals::speedText(kind, sum));
    (up ? ui.upProgress : ui.downProgress)->setText(TransferTotals::progressText(kind, sum));
}

void TransferActions::OnUpdateTaskInfo(Task *)
{
    updateTotals(Task::Upload);
    updateTotals(Task::Download);
}

void TransferActions::OnTaskReset()
{
    for (TaskListWidget *list : {ui.uploads, ui.downloads}) {
        list->clearRows();
        list->forgetCompletedHeader();
        list->OnContentChagne();
    }
    OnUpdateTaskInfo(nullptr);
}

void TransferActions::scheduleRecentReload()
{
    // Many transfers finishing together rebuild the table once.
    if (!recentReload->isActive())
        recentReload->start(0);
}

void TransferActions::OnTaskFinished(Task *task)
{
    if (!task || task->status() != Task::Complete)
        return;
    const bool download = task->kind() == Task::Download;
    const QString source = download ? task->remotePath() : task->localPath();
    const QString name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
    const QString text = tr("文件 %1 %2完成").arg(name, download ? tr("下载") : tr("上传"));
    // The rows and the recent files list every file; a burst shows only the newest here.
    MessageBox::showLatest(QStringLiteral("transfer finished"), Done, text, window, true, 2000);
    if (!window->isVisible() || window->isMinimized())
        emit notifyDesktop(window->windowTitle(), text);
    if (!download)
        emit uploadedInto(task->remotePath());
    scheduleRecentReload();
}

// ---- whole lists ----------------------------------------------------------------------------

void TransferActions::pauseAll(int kind)
{
    manager->pauseAll(kind);
}

void TransferActions::cancelAll(int kind)
{
    const QString text =
        kind == Task::Upload ? tr("确定要取消全部上传任务？") : tr("确定要取消全部下载任务？");
    if (!dialogs->confirm(window, text))
        return;
    DatabaseBatch batch;
    listOf(kind)->deleteUnfinished();
}

void TransferActions::clearRecent()
{
    if (dialogs->confirm(window, tr("确认清空最近记录吗？")))
        ui.recent->clearItem();
}
