#include "browse/filelistwidget.h"

#include "app/messagebox.h"
#include "browse/deleteoutcome.h"
#include "browse/fileitemicon.h"
#include "browse/fileitemlist.h"
#include "browse/filepaths.h"
#include "browse/imageviewer.h"
#include "device/deviceitem.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMovie>
#include <QNetworkReply>
#include <QScrollBar>
#include <QSet>

namespace {

// Detaches an item widget from its entry before it goes, so nothing it still does (a
// thumbnail arriving) reaches a removed item.
void detach(QWidget *widget)
{
    if (auto *tile = qobject_cast<FileItemIcon *>(widget))
        tile->listItem = nullptr;
    else if (auto *row = qobject_cast<FileItemList *>(widget))
        row->listItem = nullptr;
    if (widget)
        widget->deleteLater();
}

} // namespace

FileListWidget::FileListWidget(QWidget *parent) : QListWidget(parent)
{
    loadingLabel = new QLabel(this);
    loadingLabel->setGeometry(211, 110, 350, 220);
    loadingLabel->setAlignment(Qt::AlignCenter);
    loadingLabel->hide();
    loadingMovie = new QMovie(QStringLiteral(":/image/loading.gif"));
    loadingLabel->setMovie(loadingMovie);

    contextMenu = new QMenu(this);
    downloadAction = new QAction(QIcon(QStringLiteral(":/image/download.png")), tr("下载"), this);
    deleteAction = new QAction(QIcon(QStringLiteral(":/image/delete1.png")), tr("删除"), this);
    openAction = new QAction(tr("打开"), this);
    contextMenu->addAction(downloadAction);
    contextMenu->addAction(deleteAction);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FileListWidget::scrollChanged);
    connect(this, &FileListWidget::loadFinished, this, &FileListWidget::loaded);
    connect(this, &QListWidget::itemSelectionChanged, this, &FileListWidget::selectChanged);
    connect(downloadAction, &QAction::triggered, this, &FileListWidget::downloadItem);
    connect(deleteAction, &QAction::triggered, this, &FileListWidget::removeItem);
}

FileListWidget::~FileListWidget()
{
    // The window's widgets may already be gone: a list on its way out tells nobody that its
    // selection emptied.
    const QSignalBlocker blocker(this);
    clearEntries();
    loadingMovie->deleteLater();
}

DeviceItem *FileListWidget::currentDevice() const
{
    return deviceHost ? deviceHost->currentDevice() : nullptr;
}

void FileListWidget::clearEntries()
{
    pendingReply.abort();
    pendingDevice.clear();
    for (int row = 0; row < count(); ++row)
        detach(itemWidget(item(row)));
    clear();
}

void FileListWidget::startLoadingAnimation()
{
    loadingMovie->start();
    loadingLabel->show();
    loadingLabel->raise();
}

void FileListWidget::showLoading()
{
    startLoadingAnimation();
}

void FileListWidget::resetForDevice()
{
    clearEntries();
    total = -1;
    loadingMovie->stop();
    loadingLabel->hide();
    setStyleSheet(normalStyleSheet);
}

QListWidgetItem *FileListWidget::addEntry(const FileEntry &entry)
{
    auto *item = new QListWidgetItem(this, FileEntryType);
    item->setData(KindRole, entry.kind);
    item->setData(PathRole, entry.path);
    item->setData(SizeRole, entry.size);
    item->setData(TimeRole, entry.time);
    return item;
}

FileEntry FileListWidget::entryOf(const QListWidgetItem *item)
{
    FileEntry entry;
    if (!item)
        return entry;
    entry.kind = item->data(KindRole).toInt();
    entry.path = item->data(PathRole).toString();
    entry.size = item->data(SizeRole).toULongLong();
    entry.time = item->data(TimeRole).toDateTime();
    return entry;
}

void FileListWidget::setEntryWidget(QListWidgetItem *item, QWidget *widget)
{
    item->setSizeHint(widget->size());
    setItemWidget(item, widget);
}

ImageViewer *FileListWidget::createViewer(std::function<void(int step)> step)
{
    auto *viewer = new ImageViewer(this);
    viewer->setHost(deviceHost);
    connect(viewer, &ImageViewer::previous, this, [step] { step(-1); });
    connect(viewer, &ImageViewer::next, this, [step] { step(1); });
    connect(viewer, &ImageViewer::downloadClicked, this, &FileListWidget::downloadItem);
    connect(viewer, &ImageViewer::removeClicked, this, &FileListWidget::removeItem);
    return viewer;
}

void FileListWidget::showInViewer(ImageViewer *viewer, int row)
{
    QListWidgetItem *entryItem = item(row);
    if (!viewer || !entryItem)
        return;
    const auto *tile = qobject_cast<FileItemIcon *>(itemWidget(entryItem));
    const QPixmap preview = tile ? tile->iconLabel()->pixmap(Qt::ReturnByValue) : QPixmap();
    const FileEntry entry = entryOf(entryItem);
    viewer->showImage(preview.isNull() ? nullptr : &preview, FilePaths::encode(entry.path),
                      entry.size);
}

void FileListWidget::stepTo(ImageViewer *viewer, int row)
{
    if (row < 0 || row >= count())
        return;
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    showInViewer(viewer, row);
}

void FileListWidget::reload()
{
    clearEntries();
    startLoadingAnimation();
    loadPage(0, 100);
}

void FileListWidget::requestPage(QNetworkReply *reply, const DeviceItem *device,
                                 std::function<void(QNetworkReply *reply)> handler)
{
    pendingDevice = device ? device->deviceid : QString();
    const QString sentTo = pendingDevice;
    pendingReply.hold(reply, this, [this, sentTo, handler](QNetworkReply *finished) {
        const DeviceItem *current = currentDevice();
        if (!current || current->deviceid != sentTo) {
            // The device changed without the list being told: its answer is not ours.
            resetForDevice();
            return;
        }
        handler(finished);
    });
}

void FileListWidget::scrollChanged(int value)
{
    if (value == 0 || value != verticalScrollBar()->maximum() || count() >= total ||
        pendingReply.isPending())
        return;
    MessageBox::showMessage(Info, tr("加载中，请稍后..."), window(), true, 2000);
    loadPage(count(), 50);
    verticalScrollBar()->setValue(value);
}

void FileListWidget::loaded(bool noError)
{
    loadingMovie->stop();
    loadingLabel->hide();
    if (!noError)
        setStyleSheet(QStringLiteral("background-image:url(:/image/error.png);background-repeat:"
                                     "none;background-position:center;"));
    else if (count() == 0)
        setStyleSheet(QStringLiteral("background-image:url(:/image/empty.png);background-repeat:"
                                     "none;background-position:center;"));
    else
        setStyleSheet(normalStyleSheet);
}

void FileListWidget::selectChanged()
{
    for (int row = 0; row < count(); ++row) {
        if (auto *tile = qobject_cast<FileItemIcon *>(itemWidget(item(row))))
            tile->setSelected(false);
    }
    for (QListWidgetItem *selected : selectedItems()) {
        if (auto *tile = qobject_cast<FileItemIcon *>(itemWidget(selected)))
            tile->setSelected(true);
    }
}

void FileListWidget::removeSelected()
{
    QStringList paths;
    for (QListWidgetItem *selected : selectedItems()) {
        const QString path = selected->data(PathRole).toString();
        if (!path.isEmpty() && !paths.contains(path))
            paths.append(path);
    }
    if (paths.isEmpty())
        return;
    DeviceItem *device = currentDevice();
    if (!device)
        return;
    QStringList encoded;
    for (const QString &path : qAsConst(paths))
        encoded.append(FilePaths::encode(path));
    const QString sentTo = device->deviceid;
    ReplyHolder::handleOnce(
        device->requestDelete(encoded.join(QLatin1Char('|'))), this,
        [this, paths, sentTo](QNetworkReply *reply) {
            if (ReplyHolder::error(reply) != QNetworkReply::NoError)
                return;
            const DeleteOutcome outcome = DeleteOutcome::evaluate(reply->readAll(), paths);
            QWidget *host = window();
            // With a reload, its "删除完成" comes after the list is listed again.
            const int perFile = outcome.messages.size() - (outcome.reload ? 1 : 0);
            for (int i = 0; i < perFile; ++i)
                MessageBox::showMessage(outcome.messages[i].kind, outcome.messages[i].text, host,
                                        false, 2000);
            // Entries of another device's listing are not this answer's to touch.
            const DeviceItem *current = currentDevice();
            const bool sameDevice = current && current->deviceid == sentTo;
            if (sameDevice && !outcome.removed.isEmpty()) {
                const QSet<QString> removed(outcome.removed.cbegin(), outcome.removed.cend());
                int taken = 0;
                for (int row = count() - 1; row >= 0; --row) {
                    if (removed.contains(item(row)->data(PathRole).toString())) {
                        detach(itemWidget(item(row)));
                        delete takeItem(row);
                        ++taken;
                    }
                }
                // The device lists that many fewer: paging goes on from the right entry.
                if (total >= 0)
                    total = qMax(count(), total - taken);
            }
            if (outcome.reload) {
                if (sameDevice)
                    reload();
                MessageBox::showMessage(outcome.messages.last().kind, outcome.messages.last().text,
                                        host, false, 2000);
            }
        });
}

void FileListWidget::resizeEvent(QResizeEvent *event)
{
    loadingLabel->move((width() - loadingLabel->width()) / 2,
                       (height() - loadingLabel->height()) / 2);
    QListWidget::resizeEvent(event);
}

void FileListWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QListWidgetItem *under = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!under)
        return;
    downloadAction->setEnabled(under->data(KindRole).toInt() != FolderKind);
    contextMenu->exec(event->globalPos());
}
