#ifndef KELVORA_IMAGEVIEWER_H
#define KELVORA_IMAGEVIEWER_H

#include "device/devicehost.h"
#include "device/replyholder.h"

#include <QNetworkReply>

#include <QPointer>
#include <QWidget>

class DeviceItem;
class QLabel;

namespace Ui {
class ImageViewer;
}

// The full-screen picture window. Its owner (a picture list or the explorer) hands it the
// tile's thumbnail as a preview, the picture's encoded device path and its size; the viewer
// fetches the whole picture, fits it to the screen and offers close, previous, next, download
// and delete. Only the last picture asked for is ever requested: each showImage() aborts the
// one before. Closing hides the window; the owner keeps it.
class ImageViewer : public QWidget
{
    Q_OBJECT

public:
    explicit ImageViewer(QWidget *parent = nullptr);
    ~ImageViewer() override;

    // Where the viewer finds the current device.
    void setHost(DeviceHost *host) { deviceHost = host; }
    void showImage(const QPixmap *preview, const QString &path, quint64 size);

    bool isLoading() const { return pendingReply.isPending(); }
    // The encoded path last asked for.
    QString imagePath() const { return path; }
    QLabel *imageLabel() const;

signals:
    void previous();
    void next();
    // The download and delete buttons, after the viewer has closed; the owner passes them on
    // to the main window's download and delete actions.
    void downloadClicked();
    void removeClicked();

public slots:
    void closeWindow();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void loadImageFinished(QNetworkReply *reply);

    Ui::ImageViewer *ui;
    ReplyHolder pendingReply;
    QPointer<DeviceHost> deviceHost;
    QString path;
};

#endif
