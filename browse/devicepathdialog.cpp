#include "browse/devicepathdialog.h"
#include "ui_devicepathdialog.h"

#include "app/messagebox.h"
#include "browse/dirlisting.h"
#include "browse/fileentry.h"
#include "browse/fileitemicon.h"
#include "browse/filepaths.h"
#include "browse/partitionnames.h"
#include "device/deviceitem.h"
#include "device/networkerrortext.h"

#include <QMouseEvent>
#include <QMovie>
#include <QNetworkReply>

DevicePathDialog::DevicePathDialog(QWidget *parent, DeviceItem *device)
    : QDialog(parent), dragOrigin(0, 0), ui(new Ui::DevicePathDialog), device(device)
{
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    loadingMovie = new QMovie(QStringLiteral(":/image/loading.gif"));
    loadingLabel = new QLabel(this);
    loadingLabel->resize(350, 220);
    loadingLabel->setAlignment(Qt::AlignCenter);
    loadingLabel->setMovie(loadingMovie);
    loadingLabel->hide();
    connect(ui->listWidget, &QListWidget::itemDoubleClicked, this,
            &DevicePathDialog::dirDoubleClicked);
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cannelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    query(QString(), 999);
}

DevicePathDialog::~DevicePathDialog()
{
    pendingReply.abort();
    clearList();
    delete ui;
    loadingMovie->deleteLater();
}

QListWidget *DevicePathDialog::listWidget() const
{
    return ui->listWidget;
}

void DevicePathDialog::clearList()
{
    for (int row = 0; row < ui->listWidget->count(); ++row) {
        if (auto *tile = qobject_cast<FileItemIcon *>(
                ui->listWidget->itemWidget(ui->listWidget->item(row)))) {
            tile->listItem = nullptr;
            tile->deleteLater();
        }
    }
    ui->listWidget->clear();
}

void DevicePathDialog::query(const QString &path, int count)
{
    if (!device)
        return;
    clearList();
    loadingMovie->start();
    loadingLabel->show();
    loadingLabel->raise();
    pendingReply.hold(device->requestQueryDir(FilePaths::encode(path), 0, count), this,
                      [this, count](QNetworkReply *reply) { loadDirFinished(reply, count); });
}

void DevicePathDialog::dirDoubleClicked(QListWidgetItem *item)
{
    if (item && item->data(KindRole).toInt() == FolderKind)
        query(item->data(PathRole).toString(), 9999);
}

QListWidgetItem *DevicePathDialog::addEntry(const QString &path, int kind, quint64 size,
                                            const QDateTime &time)
{
    auto *item = new QListWidgetItem(ui->listWidget, FileEntryType);
    item->setData(KindRole, kind);
    item->setData(PathRole, path);
    item->setData(SizeRole, size);
    item->setData(TimeRole, time);
    item->setSizeHint(QSize(128, 114));
    return item;
}

void DevicePathDialog::addTile(QListWidgetItem *item, const QString &name)
{
    auto *tile = new FileItemIcon(ui->listWidget);
    tile->listItem = item;
    const QString path = item->data(PathRole).toString();
    const auto partition = partitionNames().constFind(path);
    if (item->data(KindRole).toInt() == FolderKind && name.isEmpty() &&
        partition != partitionNames().constEnd()) {
        tile->setIcon(FileItemIcon::imagePixmap(QStringLiteral(":/image/file/folder.png")));
        tile->setName(partition.value());
    } else {
        tile->setupFromItem();
        if (!name.isEmpty())
            tile->setName(name);
    }
    ui->listWidget->setItemWidget(item, tile);
}

void DevicePathDialog::loadDirFinished(QNetworkReply *reply, int count)
{
    loadingMovie->stop();
    loadingLabel->hide();
    if (ReplyHolder::error(reply) != QNetworkReply::NoError) {
        // A reply its time limit ended says "Operation canceled": name the time-out instead.
        const QString why = ReplyHolder::error(reply) == QNetworkReply::TimeoutError
                                ? networkErrorText(QNetworkReply::TimeoutError)
                                : reply->errorString();
        MessageBox::showMessage(Error, tr("查询目录结构失败: %1").arg(why), this, false, 2000);
        return;
    }
    const DirListing listing = DirListing::parse(reply->readAll(), count);
    if (!listing.ok())
        return;
    listedPath = listing.path;
    if (rootPath.isEmpty())
        rootPath = listedPath;
    const bool below = listedPath != rootPath;
    ui->okButton->setEnabled(below);
    // Rows first, tiles after: a row added while tiles exist has the view lay every row out
    // again, which for a folder of thousands of entries would take minutes.
    QListWidgetItem *up = below ? addEntry(FilePaths::parentOf(listedPath), FolderKind, 0,
                                           QDateTime::currentDateTime())
                                : nullptr;
    QList<QListWidgetItem *> rows;
    for (const FileEntry &entry : listing.entries)
        rows.append(addEntry(entry.path, entry.kind, entry.size, entry.time));
    if (up)
        addTile(up, tr("返回上级"));
    for (QListWidgetItem *row : qAsConst(rows))
        addTile(row, QString());
}

void DevicePathDialog::resizeEvent(QResizeEvent *event)
{
    loadingLabel->move((width() - loadingLabel->width()) / 2,
                       (height() - loadingLabel->height()) / 2);
    QDialog::resizeEvent(event);
}

void DevicePathDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->pos().y() < ui->title->height())
        dragOrigin = event->pos();
    else
        dragOrigin = QPoint(-1, -1);
    QDialog::mousePressEvent(event);
}

void DevicePathDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (dragOrigin != QPoint(-1, -1))
        move(pos() + event->pos() - dragOrigin);
    QDialog::mouseMoveEvent(event);
}

void DevicePathDialog::mouseReleaseEvent(QMouseEvent *event)
{
    dragOrigin = QPoint(-1, -1);
    QDialog::mouseReleaseEvent(event);
}
