#include "browse/getpicfile.h"

#include "app/messagebox.h"
#include "browse/albumlisting.h"
#include "browse/fileitemicon.h"
#include "device/deviceitem.h"

#include <QNetworkReply>

GetPicFile::GetPicFile(QWidget *parent) : FileListWidget(parent)
{
    normalStyleSheet = QStringLiteral(
        "QListWidget::item{width: 128px; height:114px;}QListWidget::item:selected{background: "
        "#f2f5f7;border: 1px solid #4374e3;}QListWidget::item:hover{background: #f2f5f7;border: "
        "1px solid #c6d7f6;}");
    connect(this, &QListWidget::itemDoubleClicked, this, &GetPicFile::picDoubleClicked);
}

void GetPicFile::loadPage(int start, int count)
{
    DeviceItem *device = currentDevice();
    if (!device)
        return;
    requestPage(device->requestFileList(typeCode, start, count), device,
                [this, count](QNetworkReply *reply) { loadImageFinished(reply, count); });
}

void GetPicFile::loadImageFinished(QNetworkReply *reply, int count)
{
    bool result = false;
    if (ReplyHolder::error(reply) != QNetworkReply::NoError) {
        MessageBox::showMessage(Error, tr("加载图片失败"), window(), false, 2000);
    } else {
        const AlbumListing listing = AlbumListing::parse(reply->readAll(), count);
        if (listing.ok()) {
            const int before = this->count();
            total = listing.total;
            addEntries(listing.entries);
            if (before > 0 && listing.entries.isEmpty())
                total = this->count();
            result = true;
        } else if (listing.status == DeviceReply::Failed) {
            MessageBox::showMessage(Error, tr("加载图片失败: %1").arg(listing.rtn), window(), false,
                                    2000);
        }
    }
    emit loadFinished(result);
}

QWidget *GetPicFile::createEntryWidget(QListWidgetItem *item)
{
    auto *tile = new FileItemIcon(this);
    tile->listItem = item;
    tile->loadThumbnail = true;
    tile->setupFromItem();
    return tile;
}

void GetPicFile::picDoubleClicked(QListWidgetItem *item)
{
    if (!item)
        return;
    if (!viewer)
        viewer = createViewer([this](int direction) { step(direction); });
    stepTo(viewer, row(item));
}

void GetPicFile::step(int direction)
{
    // Every entry here is a picture.
    const int target = currentRow() + direction;
    if (currentRow() >= 0 && target >= 0 && target < count())
        stepTo(viewer, target);
}
