#ifndef KELVORA_FILEITEMICON_H
#define KELVORA_FILEITEMICON_H

#include "device/replyholder.h"

#include <QNetworkReply>

#include <QWidget>

class QLabel;
class QListWidgetItem;

namespace Ui {
class FileItemIcon;
}

// A 128 x 114 tile of an icon-mode file list: the file-type icon or the file's thumbnail, the
// name, and a hover / selection mark. Thumbnails come from the cache under tmp/<device>/ when
// they are there, else from the device once, and then go into the cache.
class FileItemIcon : public QWidget
{
    Q_OBJECT

public:
    explicit FileItemIcon(QWidget *parentList = nullptr);
    ~FileItemIcon() override;

    // The entry shown; null once the entry is gone.
    QListWidgetItem *listItem = nullptr;
    QLabel *playLabel = nullptr;
    bool loadThumbnail = false;

    void setIcon(const QPixmap &pixmap);
    void setName(const QString &text);
    void setSelected(bool on);
    void setPosterLayout();
    void setupFromItem();

    QLabel *iconLabel() const;
    // A picture of the image set, read once per process: tiles come and go as lists scroll.
    static QPixmap imagePixmap(const QString &resource);
    QLabel *textLabel() const;
    bool isThumbnailLoading() const { return thumbReply.isPending(); }

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    // The thumbnail's answer: shown when it decodes, then stored in the cache; a failure
    // leaves the type icon without a message.
    void loadThumbFinished(QNetworkReply *reply);

    Ui::FileItemIcon *ui;
    ReplyHolder thumbReply;
    QString cacheName;
};

#endif
