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
#include <QTimer>
#include <algorithm>

namespace {

// Detaches an item widget from its entry, so nothing it still does (a thumbnail arriving)
// reaches the entry once the widget is on its way out.
void detach(QWidget *widget)
{
    if (auto *tile = qobject_cast<FileItemIcon *>(widget))
        tile->listItem = nullptr;
    else if (auto *row = qobject_cast<FileItemList *>(widget))
        row->listItem = nullptr;
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
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &FileListWidget::scheduleWidgetUpdate);
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
    // The view deletes the widgets with their rows.
    for (QListWidgetItem *entry : qAsConst(withWidget))
        detach(itemWidget(entry));
    withWidget.clear();
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
    if (styleSheet() != normalStyleSheet)
        setStyleSheet(normalStyleSheet);
}

QListWidgetItem *FileListWidget::addEntry(const FileEntry &entry)
{
    auto *item = new QListWidgetItem(this, FileEntryType);
    item->setData(KindRole, entry.kind);
    item->setData(PathRole, entry.path);
    item->setData(SizeRole, entry.size);
    item->setData(TimeRole, entry.time);
    item->setSizeHint(entrySize());
    scheduleWidgetUpdate();
    return item;
}

void FileListWidget::addEntries(const FileEntries &entries)
{
    if (entries.isEmpty())
        return;
    // With item widgets present the view lays all rows out again after every single insertion
    // (placing its widgets asks where each row is): for a page of 50 in a list of 10,000 that
    // is half a million cells. It is told once, with the page's whole range.
    const int first = count();
    addingEntries = true;
    for (const FileEntry &entry : entries)
        addEntry(entry);
    addingEntries = false;
    QListWidget::rowsInserted(QModelIndex(), first, count() - 1);
}

void FileListWidget::rowsInserted(const QModelIndex &parent, int start, int end)
{
    if (!addingEntries)
        QListWidget::rowsInserted(parent, start, end);
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

QWidget *FileListWidget::entryWidget(QListWidgetItem *item)
{
    if (!item || item->listWidget() != this)
        return nullptr;
    if (QWidget *widget = itemWidget(item))
        return widget;
    QWidget *widget = createEntryWidget(item);
    if (auto *tile = qobject_cast<FileItemIcon *>(widget))
        tile->setSelected(item->isSelected());
    setItemWidget(item, widget);
    withWidget.insert(item);
    return widget;
}

QPixmap FileListWidget::iconOf(QListWidgetItem *item)
{
    QLabel *icon = nullptr;
    QWidget *widget = entryWidget(item);
    if (auto *tile = qobject_cast<FileItemIcon *>(widget))
        icon = tile->iconLabel();
    else if (auto *row = qobject_cast<FileItemList *>(widget))
        icon = row->iconLabel();
    return icon ? icon->pixmap(Qt::ReturnByValue) : QPixmap();
}

void FileListWidget::removeEntryAt(int row)
{
    QListWidgetItem *entry = item(row);
    if (!entry)
        return;
    if (withWidget.remove(entry))
        detach(itemWidget(entry));
    delete takeItem(row);
}

void FileListWidget::dropEntryWidget(QListWidgetItem *item)
{
    detach(itemWidget(item));
    // Replaced by nothing, the view deletes the widget.
    removeItemWidget(item);
    withWidget.remove(item);
}

void FileListWidget::scheduleWidgetUpdate()
{
    if (widgetUpdatePending)
        return;
    widgetUpdatePending = true;
    QTimer::singleShot(0, this, [this] {
        widgetUpdatePending = false;
        updateEntryWidgets();
    });
}

void FileListWidget::updateGeometries()
{
    QListWidget::updateGeometries();
    // A row made while the view had another width must not keep it: rows span the view, or
    // their last column ends up out of sight behind a horizontal scroll bar.
    if (viewMode() == ListMode) {
        for (QListWidgetItem *entry : qAsConst(withWidget)) {
            QWidget *row = itemWidget(entry);
            const QRect cell = visualItemRect(entry);
            if (row && row->geometry() != cell)
                row->setGeometry(cell);
        }
    }
    scheduleWidgetUpdate();
}

int FileListWidget::firstRowBelow(int y)
{
    int low = 0, high = count();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (visualItemRect(item(mid)).bottom() < y)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void FileListWidget::updateEntryWidgets()
{
    const int screen = qMax(1, viewport()->height());
    // Made within one screen of the view, kept within two: a short scroll back makes nothing.
    const int makeTop = -screen, makeBottom = 2 * screen;
    const int keepTop = -2 * screen, keepBottom = 3 * screen;
    // Where the cells are is read first, then widgets change: a new widget has the view lay
    // every row out again before it answers the next position.
    QList<QListWidgetItem *> drop;
    QList<QPair<int, QListWidgetItem *>> make; // distance from the view, entry
    for (QListWidgetItem *entry : qAsConst(withWidget)) {
        const QRect cell = visualItemRect(entry);
        if (cell.bottom() < keepTop || cell.top() > keepBottom)
            drop.append(entry);
    }
    for (int row = firstRowBelow(makeTop); row < count(); ++row) {
        QListWidgetItem *entry = item(row);
        const QRect cell = visualItemRect(entry);
        if (cell.top() > makeBottom)
            break;
        if (!entry->isHidden() && !withWidget.contains(entry))
            make.append({qMax(0, qMax(-cell.bottom(), cell.top() - screen)), entry});
    }
    for (QListWidgetItem *entry : qAsConst(drop))
        dropEntryWidget(entry);
    // What is in view first; a few at a time, so the event loop is never held up for long.
    std::stable_sort(make.begin(), make.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    const int batch = 16;
    for (int i = 0; i < make.size() && i < batch; ++i)
        entryWidget(make[i].second);
    if (make.size() > batch)
        scheduleWidgetUpdate();
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
    const QPixmap preview = iconOf(entryItem);
    const FileEntry entry = entryOf(entryItem);
    viewer->showImage(preview.isNull() ? nullptr : &preview, FilePaths::encode(entry.path),
                      entry.size);
}

void FileListWidget::stepTo(ImageViewer *viewer, int row)
{
    if (row < 0 || row >= count())
        return;
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(row));
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
    QString sheet = normalStyleSheet;
    if (!noError)
        sheet = QStringLiteral("background-image:url(:/image/error.png);background-repeat:none;"
                               "background-position:center;");
    else if (count() == 0)
        sheet = QStringLiteral("background-image:url(:/image/empty.png);background-repeat:none;"
                               "background-position:center;");
    // Setting a style sheet polishes the list and every tile again, even when it is the same.
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
    // The first tiles in view come with the page, not a turn of the event loop later.
    updateEntryWidgets();
}

void FileListWidget::selectChanged()
{
    for (QListWidgetItem *entry : qAsConst(withWidget)) {
        if (auto *tile = qobject_cast<FileItemIcon *>(itemWidget(entry)))
            tile->setSelected(entry->isSelected());
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
                        removeEntryAt(row);
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
