#include "browse/getdocfile.h"

#include "app/messagebox.h"
#include "browse/albumlisting.h"
#include "browse/fileitemlist.h"
#include "device/deviceitem.h"

#include <QNetworkReply>

GetDocFile::GetDocFile(QWidget *parent) : FileListWidget(parent)
{
    // Rows are as wide as the view: there is never anything to scroll to sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    normalStyleSheet = QStringLiteral(
        "QListWidget::item{height:48px;}QListWidget::item:selected{background: "
        "#f2f5f7;border: 1px solid #4374e3;}QListWidget::item:hover{background: #f2f5f7;border: "
        "1px solid #c6d7f6;}");
}

void GetDocFile::loadPage(int start, int count)
{
    DeviceItem *device = currentDevice();
    if (!device)
        return;
    requestPage(device->requestFileList(typeCode, start, count), device,
                [this, count](QNetworkReply *reply) { loadDocFinished(reply, count); });
}

void GetDocFile::loadDocFinished(QNetworkReply *reply, int count)
{
    bool result = false;
    if (ReplyHolder::error(reply) == QNetworkReply::NoError) {
        const AlbumListing listing = AlbumListing::parse(reply->readAll(), count);
        if (listing.ok()) {
            const int before = this->count();
            total = listing.total;
            addEntries(listing.entries);
            if (before > 0 && listing.entries.isEmpty())
                total = this->count();
            result = true;
        } else if (listing.status == DeviceReply::Failed) {
            MessageBox::showMessage(Error, tr("加载文档失败: %1").arg(listing.rtn), window(), false,
                                    2000);
        }
    }
    emit loadFinished(result);
}

QWidget *GetDocFile::createEntryWidget(QListWidgetItem *item)
{
    auto *row = new FileItemList(this);
    row->listItem = item;
    row->setupFromItem();
    return row;
}
