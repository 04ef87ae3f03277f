#include "browse/fileitemicon.h"
#include "ui_fileitemicon.h"

#include "app/extensions.h"
#include "browse/filelistwidget.h"
#include "browse/filepaths.h"
#include "browse/filetexts.h"
#include "browse/thumbcache.h"
#include "device/deviceitem.h"
#include "device/plaintooltip.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QListWidgetItem>
#include <QNetworkReply>
#include <QSaveFile>

namespace {

// A thumbnail is small; a body that claims more pixels than this is not decoded at all.
const qint64 maxThumbnailPixels = 4096 * 4096;

} // namespace

FileItemIcon::FileItemIcon(QWidget *parentList) : QWidget(parentList), ui(new Ui::FileItemIcon)
{
    ui->setupUi(this);
    ui->flagLabel->hide();
}

FileItemIcon::~FileItemIcon()
{
    thumbReply.abort();
    delete ui;
}

QPixmap FileItemIcon::imagePixmap(const QString &resource)
{
    static QHash<QString, QPixmap> pixmaps;
    auto it = pixmaps.find(resource);
    if (it == pixmaps.end())
        it = pixmaps.insert(resource, QPixmap(resource));
    return it.value();
}

QLabel *FileItemIcon::iconLabel() const
{
    return ui->iconLabel;
}

QLabel *FileItemIcon::textLabel() const
{
    return ui->textLabel;
}

void FileItemIcon::setIcon(const QPixmap &pixmap)
{
    ui->iconLabel->setPixmap(pixmap);
}

void FileItemIcon::setName(const QString &text)
{
    if (ui->textLabel->fontMetrics().horizontalAdvance(text) > ui->textLabel->width())
        ui->textLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    else
        ui->textLabel->setAlignment(Qt::AlignCenter);
    ui->textLabel->setText(text);
}

void FileItemIcon::setSelected(bool on)
{
    if (on) {
        ui->flagLabel->setPixmap(imagePixmap(QStringLiteral(":/image/listitem_clicked.png")));
        ui->flagLabel->show();
    } else {
        ui->flagLabel->hide();
    }
}

void FileItemIcon::setPosterLayout()
{
    resize(128, 154);
    ui->iconLabel->setGeometry(24, 10, 80, 114);
    ui->textLabel->move(0, 124);
}

void FileItemIcon::setupFromItem()
{
    if (!listItem)
        return;
    const FileEntry entry = FileListWidget::entryOf(listItem);
    const QString name = FilePaths::fileName(entry.path);
    const QString shownPath = displayPath(entry.path);
    setName(name);
    if (entry.isFolder()) {
        setToolTip(plainToolTip(tr("目录: %1").arg(shownPath)));
        setIcon(imagePixmap(QStringLiteral(":/image/file/folder.png")));
        return;
    }
    setToolTip(
        plainToolTip(tr("文件: %1\n大小: %2\n修改时间: %3")
                         .arg(shownPath, formatFileSize(entry.size), fileTimeText(entry.time))));
    auto *list = qobject_cast<FileListWidget *>(listItem->listWidget());
    setIcon(imagePixmap(list && list->showsPosters() ? QStringLiteral(":/image/file/poster.png")
                                                     : fileIconPath(name, false)));

    const QString extension = extensionOf(name);
    const bool video = videoExtensions.contains(extension);
    if (!playLabel && video) {
        playLabel = new QLabel(ui->iconLabel);
        playLabel->setGeometry((ui->iconLabel->width() - 26) / 2,
                               (ui->iconLabel->height() - 26) / 2, 26, 26);
        playLabel->setPixmap(imagePixmap(QStringLiteral(":/image/file/play.png")));
        playLabel->hide();
    }

    if (!loadThumbnail || !(video || pictureExtensions.contains(extension)))
        return;
    DeviceItem *device = list ? list->currentDevice() : nullptr;
    if (!device)
        return;
    cacheName = ThumbCache::relativePath(device->deviceid, entry.path);
    if (cacheName.isEmpty())
        return;
    // A cached file that no longer reads as a picture is fetched again.
    const QPixmap cached(cacheName, "PNG");
    if (!cached.isNull()) {
        // Stored by an older tile size, it still fits this one.
        const QSize box = ui->iconLabel->size();
        setIcon(cached.width() > box.width() || cached.height() > box.height()
                    ? cached.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                    : cached);
        return;
    }
    thumbReply.hold(device->requestFileData(FilePaths::encode(entry.path), 1, entry.size), this,
                    [this](QNetworkReply *reply) { loadThumbFinished(reply); });
}

void FileItemIcon::loadThumbFinished(QNetworkReply *reply)
{
    if (ReplyHolder::error(reply) != QNetworkReply::NoError)
        return;
    QByteArray body = reply->readAll();
    QBuffer buffer(&body);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > maxThumbnailPixels)
        return;
    // Wider than the icon: scaled to its width. Taller too (a portrait strip): scaled to fit,
    // so it never spills over the name below.
    const QSize box = ui->iconLabel->size();
    if (size.width() > box.width() || size.height() > box.height())
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage image = reader.read();
    if (image.isNull())
        return;
    const QPixmap pixmap = QPixmap::fromImage(image);
    setIcon(pixmap);
    if (cacheName.isEmpty())
        return;
    QDir().mkpath(QFileInfo(cacheName).path());
    // Written aside and renamed: an interrupted write never leaves half a picture behind.
    QSaveFile file(cacheName);
    if (file.open(QIODevice::WriteOnly) && pixmap.save(&file, "PNG"))
        file.commit();
}

void FileItemIcon::enterEvent(QEvent *event)
{
    if (!listItem || !listItem->isSelected()) {
        ui->flagLabel->setPixmap(imagePixmap(QStringLiteral(":/image/listitem_hover.png")));
        ui->flagLabel->show();
    }
    if (playLabel)
        playLabel->show();
    QWidget::enterEvent(event);
}

void FileItemIcon::leaveEvent(QEvent *event)
{
    if (!listItem || !listItem->isSelected())
        ui->flagLabel->hide();
    if (playLabel)
        playLabel->hide();
    QWidget::leaveEvent(event);
}
