#include "browse/imageviewer.h"
#include "ui_imageviewer.h"

#include "app/messagebox.h"
#include "browse/imagefit.h"
#include "device/deviceitem.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QNetworkReply>
#include <QScreen>

namespace {

// Decoders that cannot scale while reading hold the whole picture: beyond this many pixels
// (a 256 MB image) the picture is not decoded.
const qint64 maxFullDecodePixels = 64 * 1024 * 1024;
const qint64 maxPictureBytes = 256 * 1024 * 1024;

} // namespace

ImageViewer::ImageViewer(QWidget *parent) : QWidget(parent), ui(new Ui::ImageViewer)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(ui->closeButton, &QPushButton::clicked, this, &ImageViewer::closeWindow);
    connect(ui->previousButton, &QPushButton::clicked, this, &ImageViewer::previous);
    connect(ui->nextButton, &QPushButton::clicked, this, &ImageViewer::next);
    connect(ui->downloadButton, &QPushButton::clicked, this, [this] {
        closeWindow();
        emit downloadClicked();
    });
    connect(ui->removeButton, &QPushButton::clicked, this, [this] {
        closeWindow();
        emit removeClicked();
    });
}

ImageViewer::~ImageViewer()
{
    pendingReply.abort();
    delete ui;
}

QLabel *ImageViewer::imageLabel() const
{
    return ui->imageLabel;
}

void ImageViewer::showImage(const QPixmap *preview, const QString &imagePath, quint64 size)
{
    path = imagePath;
    ui->imageLabel->clear();
    if (preview)
        ui->imageLabel->setPixmap(*preview);
    pendingReply.abort();
    if (DeviceItem *device = deviceHost ? deviceHost->currentDevice() : nullptr) {
        QNetworkReply *reply = device->requestFileData(imagePath, 3, size);
        // A whole picture may be large and slow: bounded by size and by silence, not by time.
        ReplyHolder::Limits limits;
        limits.maxBytes = maxPictureBytes;
        limits.timeoutMs = 0;
        limits.idleMs = 30000;
        ReplyHolder::limit(reply, limits);
        pendingReply.hold(reply, this,
                          [this](QNetworkReply *finished) { loadImageFinished(finished); });
    }
    // Without a window manager to honour it, full screen alone leaves the window its own size.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    showFullScreen();
}

void ImageViewer::loadImageFinished(QNetworkReply *reply)
{
    if (ReplyHolder::error(reply) != QNetworkReply::NoError) {
        MessageBox::showMessage(Error, tr("加载图片失败"), this, false, 2000);
        return;
    }
    QByteArray body = reply->readAll();
    QBuffer buffer(&body);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize(1920, 1080);
    QImage image;
    if (!size.isValid()) {
        // A format that does not tell its size up front: decoded, then fitted.
        image = reader.read();
        const QSize fitted = fitImageSize(image.size(), screenSize);
        if (!image.isNull() && fitted != image.size())
            image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (reader.supportsOption(QImageIOHandler::ScaledSize) ||
               qint64(size.width()) * size.height() <= maxFullDecodePixels) {
        const QSize fitted = fitImageSize(size, screenSize);
        if (fitted != size)
            reader.setScaledSize(fitted);
        image = reader.read();
    }
    ui->imageLabel->setPixmap(QPixmap::fromImage(image));
}

void ImageViewer::closeWindow()
{
    pendingReply.abort();
    close();
}

void ImageViewer::keyReleaseEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        closeWindow();
        break;
    case Qt::Key_Left:
        emit previous();
        break;
    case Qt::Key_Right:
        emit next();
        break;
    default:
        QWidget::keyReleaseEvent(event);
        break;
    }
}
