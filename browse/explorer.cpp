#include "browse/explorer.h"

#include "app/extensions.h"
#include "app/messagebox.h"
#include "browse/breadcrumb.h"
#include "browse/devicereply.h"
#include "browse/dirlisting.h"
#include "browse/fileitemicon.h"
#include "browse/filepaths.h"
#include "browse/newfoldername.h"
#include "browse/partitionnames.h"
#include "browse/picturestep.h"
#include "browse/realvideo.h"
#include "device/deviceitem.h"

#include <QDebug>
#include <QLabel>
#include <QNetworkReply>

Explorer::Explorer(QWidget *parent) : FileListWidget(parent)
{
    normalStyleSheet = QStringLiteral(
        "QListWidget::item{width: 128px; height:114px;}QListWidget::item:selected{background: "
        "#f2f5f7;border: 1px solid #4374e3;}QListWidget::item:hover{background: #f2f5f7;border: "
        "1px solid #c6d7f6;}");
    connect(this, &QListWidget::itemDoubleClicked, this, &Explorer::dirDoubleClicked);
    connect(this, &QListWidget::itemChanged, this, &Explorer::itemChanged);
}

void Explorer::resetForDevice()
{
    FileListWidget::resetForDevice();
    currentPath.clear();
    rootPath.clear();
}

void Explorer::queryDir(const QString &path)
{
    if (!rootPath.isEmpty() && !FilePaths::isUnder(path, rootPath))
        return;
    if (breadcrumbLabel) {
        breadcrumbText =
            Breadcrumb::text(Breadcrumb::links(rootPath, path, partitionNames(), tr("Tovrik")));
        breadcrumbLabel->setText(breadcrumbText);
    }
    currentPath = path;
    reload();
}

void Explorer::loadPage(int start, int count)
{
    DeviceItem *device = currentDevice();
    if (!device)
        return;
    requestPage(device->requestQueryDir(currentPath, start, count), device,
                [this, count](QNetworkReply *reply) { loadDirFinished(reply, count); });
}

void Explorer::loadDirFinished(QNetworkReply *reply, int count)
{
    bool result = false;
    if (ReplyHolder::error(reply) == QNetworkReply::NoError) {
        const DirListing listing = DirListing::parse(reply->readAll(), count);
        if (listing.ok()) {
            const int before = this->count();
            total = listing.total;
            // A device that names no folder listed the one asked for.
            if (!listing.path.isEmpty())
                currentPath = FilePaths::encode(listing.path);
            if (rootPath.isEmpty())
                rootPath = currentPath;
            addEntries(listing.entries);
            // A further page with nothing on it: the device has no more to give.
            if (before > 0 && listing.entries.isEmpty())
                total = this->count();
            result = true;
        } else if (listing.status != DeviceReply::NotObject) {
            MessageBox::showMessage(Error, tr("加载目录失败"), window(), false, 2000);
        }
    }
    emit loadFinished(result);
}

QWidget *Explorer::createEntryWidget(QListWidgetItem *item)
{
    auto *tile = new FileItemIcon(this);
    tile->listItem = item;
    // Folders fetch nothing; every file that can have a thumbnail gets one.
    tile->loadThumbnail = true;
    setupTile(tile, entryOf(item));
    return tile;
}

void Explorer::setupTile(FileItemIcon *tile, const FileEntry &entry)
{
    const auto partition = partitionNames().constFind(entry.path);
    if (entry.isFolder() && partition != partitionNames().constEnd()) {
        tile->setIcon(FileItemIcon::imagePixmap(QStringLiteral(":/image/file/folder.png")));
        tile->setName(partition.value());
        tile->setToolTip(QString());
    } else {
        tile->setupFromItem();
    }
}

void Explorer::dirDoubleClicked(QListWidgetItem *item)
{
    if (!item)
        return;
    const FileEntry entry = entryOf(item);
    const QString encoded = FilePaths::encode(entry.path);
    if (entry.isFolder()) {
        queryDir(encoded);
        return;
    }
    const QString extension = extensionOf(FilePaths::fileName(entry.path));
    if (pictureExtensions.contains(extension)) {
        if (!viewer)
            viewer = createViewer([this](int step) { stepPicture(step); });
        stepTo(viewer, row(item));
    } else if (videoExtensions.contains(extension)) {
        RealVideo::playVideo(host(), encoded);
    }
}

void Explorer::itemChanged(QListWidgetItem *item) {}

bool Explorer::isPicture(int row) const
{
    const FileEntry entry = entryOf(item(row));
    return !entry.isFolder() &&
           pictureExtensions.contains(extensionOf(FilePaths::fileName(entry.path)));
}

void Explorer::stepPicture(int step)
{
    const int target =
        pictureStep(count(), currentRow(), step, [this](int row) { return isPicture(row); });
    if (target >= 0)
        stepTo(viewer, target);
}

void Explorer::mkDir()
{
    QSet<QString> taken;
    for (int row = 0; row < count(); ++row)
        taken.insert(FilePaths::fileName(item(row)->data(PathRole).toString()));
    const QString dirpath =
        currentPath + QLatin1Char('/') + FilePaths::encodeName(newFolderName(taken));

    FileEntry entry;
    entry.kind = FolderKind;
    entry.path = FilePaths::decode(dirpath);
    entry.time = QDateTime::currentDateTime();
    addEntry(entry);

    DeviceItem *device = currentDevice();
    if (!device)
        return;
    const QString sentTo = device->deviceid;
    const QString path = entry.path;
    ReplyHolder::handleOnce(
        device->requestMkdir(dirpath), this, [this, sentTo, path](QNetworkReply *reply) {
            // Only a clear refusal counts: the answer's body is not part of the protocol.
            const bool refused = ReplyHolder::error(reply) != QNetworkReply::NoError ||
                                 DeviceReply::parse(reply->readAll()).status == DeviceReply::Failed;
            const DeviceItem *current = currentDevice();
            if (!refused || !current || current->deviceid != sentTo)
                return;
            for (int row = count() - 1; row >= 0; --row) {
                if (item(row)->data(PathRole).toString() == path &&
                    item(row)->data(SizeRole).toULongLong() == 0) {
                    if (QWidget *tile = itemWidget(item(row))) {
                        qobject_cast<FileItemIcon *>(tile)->listItem = nullptr;
                        tile->deleteLater();
                    }
                    delete takeItem(row);
                    break;
                }
            }
            MessageBox::showMessage(Error, tr("新建文件夹失败"), window(), false, 2000);
        });
}

void Explorer::queryPartitionNames()
{
    // Whose disks the table describes, across every explorer of the process.
    static QString tableDevice;
    DeviceItem *device = currentDevice();
    if (!device)
        return;
    if (device->deviceid != tableDevice) {
        partitionNames().clear();
        tableDevice = device->deviceid;
    }
    const QString askedFor = device->deviceid;
    partitionReply.hold(device->requestUsbInfo(), this, [this, askedFor](QNetworkReply *reply) {
        if (ReplyHolder::error(reply) != QNetworkReply::NoError || tableDevice != askedFor ||
            !readPartitionNames(reply->readAll(), &partitionNames()))
            return;
        // Partition folders listed before the names arrived take their names now.
        for (int row = 0; row < count(); ++row) {
            const FileEntry entry = entryOf(item(row));
            auto *tile = qobject_cast<FileItemIcon *>(itemWidget(item(row)));
            if (tile && entry.isFolder() && partitionNames().contains(entry.path))
                setupTile(tile, entry);
        }
    });
}
