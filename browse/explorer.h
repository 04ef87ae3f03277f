#ifndef KELVORA_EXPLORER_H
#define KELVORA_EXPLORER_H

#include "browse/filelistwidget.h"

class DeviceItem;
class FileItemIcon;
class ImageViewer;
class QLabel;

// The all-files view: one folder of the device's disks at a time, a breadcrumb of links from
// the device's top folder down, folders entered by double-click, new folders, pictures opened
// in the viewer and videos handed to playback. It also fills the partition-name table.
//
// currentPath and rootPath are kept encoded (FilePaths::encode), ready for requests and links;
// entries keep their paths as the device spells them.
class Explorer : public FileListWidget
{
    Q_OBJECT

public:
    explicit Explorer(QWidget *parent = nullptr);

    QLabel *breadcrumbLabel = nullptr;
    QString breadcrumbText;
    // The folder listed; empty before the first listing.
    QString currentPath;
    // The device's top folder, learnt from the first listing after a device change.
    QString rootPath;
    ImageViewer *viewer = nullptr;

    void setBreadcrumbLabel(QLabel *label) { breadcrumbLabel = label; }
    void resetForDevice() override;
    // Refreshes the partition-name table from the current device's disk information and
    // renames the partition folders shown. Only the answer to the latest call counts; the
    // names of another device are dropped at once, not shown for this one's disks.
    void queryPartitionNames();

public slots:
    // Goes to a folder given by its encoded path; a path outside rootPath changes nothing.
    void queryDir(const QString &path);
    void mkDir();
    void dirDoubleClicked(QListWidgetItem *item);
    void itemChanged(QListWidgetItem *item);

protected:
    void loadPage(int start, int count) override;
    QWidget *createEntryWidget(QListWidgetItem *item) override;

private:
    void loadDirFinished(QNetworkReply *reply, int count);
    void setupTile(FileItemIcon *tile, const FileEntry &entry);
    void stepPicture(int step);
    bool isPicture(int row) const;

    ReplyHolder partitionReply;
};

#endif
