#include "browse/realvideo.h"

#include "app/messagebox.h"
#include "browse/fileitemicon.h"
#include "browse/filepaths.h"
#include "browse/postercache.h"
#include "browse/posterloader.h"
#include "browse/videolisting.h"
#include "browse/videoplayback.h"
#include "browse/videoseries.h"
#include "device/deviceitem.h"
#include "device/plaintooltip.h"
#include "platform/appdirs.h"
#include "platform/detachedprocess.h"

#include <QDebug>
#include <QLabel>
#include <QNetworkReply>

RealVideo::RealVideo(QWidget *parent) : FileListWidget(parent), posters(new PosterLoader(this))
{
    normalStyleSheet = QStringLiteral(
        "QListWidget::item{width: 128px; height:154px;}QListWidget::item:selected{background: "
        "#f2f5f7;border: 1px solid #4374e3;}QListWidget::item:hover{background: #f2f5f7;border: "
        "1px solid #c6d7f6;}");
    connect(this, &QListWidget::itemDoubleClicked, this, &RealVideo::videoDoubleClicked);
    connect(posters, &PosterLoader::failed, this, [this](const QString &reason) {
        if (posterFailureShown)
            return;
        posterFailureShown = true;
        MessageBox::showMessage(Error, tr("获取视频海报失败: %1").arg(reason), window(), false,
                                2000);
    });
}

RealVideo::~RealVideo()
{
    posters->abortAll();
}

void RealVideo::resetForDevice()
{
    posters->abortAll();
    FileListWidget::resetForDevice();
    series = -1;
    breadcrumbText.clear();
}

int RealVideo::pendingPosters() const
{
    return posters->pending();
}

void RealVideo::openSeries(int series)
{
    clearEntries();
    showLoading();
    loadSeries(series, 0, VideoSeries::openCount(series));
}

void RealVideo::loadPage(int start, int count)
{
    loadSeries(series, start, count);
}

void RealVideo::loadSeries(int series, int start, int count)
{
    const int target = VideoSeries::normalised(series);
    // A further page of the same view keeps the posters of the rows already there coming.
    if (start == 0 || target != this->series) {
        posters->abortAll();
        posterFailureShown = false;
    }
    this->series = target;
    breadcrumbText = VideoSeries::breadcrumb(target, tr("全部视频"), tr("视频集"));
    if (breadcrumbLabel)
        breadcrumbLabel->setText(breadcrumbText);
    DeviceItem *device = currentDevice();
    if (!device) {
        emit loadFinished(false);
        return;
    }
    requestPage(device->requestRealVideo(typeCode, target, start, count), device,
                [this, count](QNetworkReply *reply) { loadVideoFinished(reply, count); });
}

void RealVideo::loadVideoFinished(QNetworkReply *reply, int count)
{
    bool ok = false;
    if (ReplyHolder::error(reply) == QNetworkReply::NoError) {
        const VideoListing listing = VideoListing::parse(reply->readAll(), count);
        if (listing.ok()) {
            const int before = this->count();
            total = listing.total;
            const DeviceItem *device = currentDevice();
            const QString deviceid = device ? device->deviceid : QString();
            for (const VideoRow &row : listing.rows)
                addRow(row, deviceid);
            // A further page with nothing on it: the device has no more to give.
            if (before > 0 && listing.rows.isEmpty())
                total = this->count();
            ok = true;
        } else if (listing.status == DeviceReply::Failed) {
            MessageBox::showMessage(Error, tr("加载视频失败: %1").arg(listing.rtn), window(), false,
                                    2000);
        }
    }
    emit loadFinished(ok);
}

namespace {

// What a video tile shows beyond the entry itself; its tile is made when it comes into view.
const int TileRole = Qt::UserRole + 10;
enum TileField
{
    ShownName,
    SeriesName,
    FileCount,
    PosterUrl,
    CachePath
};

} // namespace

void RealVideo::addRow(const VideoRow &row, const QString &deviceid)
{
    FileEntry entry;
    if (row.isSeries) {
        entry.kind = FolderKind;
    } else {
        entry.path = row.path;
        entry.size = row.size;
        entry.time = row.time;
    }
    QListWidgetItem *item = addEntry(entry);
    item->setData(SeriesRole, row.isSeries ? row.seriesId : -1);
    const QString cachePath = row.isSeries
                                  ? PosterCache::seriesPath(deviceid, row.seriesId, row.seriesName)
                                  : PosterCache::videoPath(deviceid, row.posterKey);
    item->setData(TileRole,
                  QVariantList{row.name, row.seriesName, row.fileCount, row.posterUrl, cachePath});
}

QWidget *RealVideo::createEntryWidget(QListWidgetItem *item)
{
    const QVariantList fields = item->data(TileRole).toList();
    auto *tile = new FileItemIcon(this);
    tile->listItem = item;
    tile->setPosterLayout();
    if (entryOf(item).isFolder()) { // a series
        const QString name = fields.value(SeriesName).toString();
        const QString files = QString::number(fields.value(FileCount).toInt());
        tile->setIcon(QPixmap(QStringLiteral(":/image/file/series.png")));
        tile->setName(name);
        tile->setToolTip(plainToolTip(tr("视频集: %1\n文件数: %2").arg(name, files)));
        auto *badge = new QLabel(tile);
        badge->setGeometry(74, 100, 30, 16);
        badge->setStyleSheet(QStringLiteral("font-size:10px;background-color:rgb(104,47,170);"
                                            "color:#fff;padding-right:2px;"));
        badge->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        badge->setText(files);
    } else {
        tile->setupFromItem();
        tile->setName(fields.value(ShownName).toString());
    }
    posters->load(tile, fields.value(PosterUrl).toString(), fields.value(CachePath).toString());
    return tile;
}

void RealVideo::videoDoubleClicked(QListWidgetItem *item)
{
    if (!item)
        return;
    const QVariant series = item->data(SeriesRole);
    if (series.isValid() && VideoSeries::isSeries(series.toInt())) {
        openSeries(series.toInt());
        return;
    }
    playVideo(host(), FilePaths::encode(entryOf(item).path));
}

void RealVideo::playVideo(DeviceHost *host, const QString &encodedPath)
{
    if (!host)
        return;
    DeviceItem *device = host->currentDevice();
    const VideoPlayback::Launch launch =
        VideoPlayback::prepare(device, encodedPath, mediaPlayerPath());
    switch (launch.outcome) {
    case VideoPlayback::NotOnLan:
        host->showError(tr("和设备在同一个局域网时才能播放视频"));
        return;
    case VideoPlayback::NothingToPlay:
        return;
    case VideoPlayback::NoPlayer:
        host->showError(tr("找不到播放器"));
        return;
    case VideoPlayback::BadAddress:
        qDebug("no stream address for %s", qPrintable(device->intraip));
        host->showError(tr("播放视频失败"));
        return;
    case VideoPlayback::Ready:
        break;
    }
    QString error;
    DetachedProcess *player =
        DetachedProcess::start(launch.program, launch.arguments, host, &error);
    if (!player) {
        qDebug("player not started: %s", qPrintable(error));
        host->showError(tr("播放视频失败"));
        return;
    }
    connect(player, &DetachedProcess::failedEarly, host,
            [host] { host->showError(tr("播放视频失败")); });
}
