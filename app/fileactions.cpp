#include "app/fileactions.h"

#include "app/messagebox.h"
#include "app/pages.h"
#include "app/yesnodialog.h"
#include "browse/explorer.h"
#include "browse/fileentry.h"
#include "browse/getdocfile.h"
#include "browse/getpicfile.h"
#include "browse/navlink.h"
#include "browse/realvideo.h"

#include <QCheckBox>
#include <QDebug>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>

FileActions::FileActions(const Widgets &widgets, DeviceHost *host, QWidget *window)
    : QObject(window), ui(widgets), window(window)
{
    ui.explorer->setBreadcrumbLabel(ui.navLabel);
    if (auto *videos = qobject_cast<RealVideo *>(ui.videos)) {
        videos->setBreadcrumbLabel(ui.navLabel);
        connect(this, &FileActions::videoSeriesRequested, videos, &RealVideo::openSeries);
    }
    for (FileListWidget *list :
         {static_cast<FileListWidget *>(ui.explorer), static_cast<FileListWidget *>(ui.pictures),
          static_cast<FileListWidget *>(ui.documents), fileList(ui.videos)}) {
        if (!list)
            continue;
        list->setHost(host);
        // A listing replaces the entries without a selection signal: the count follows here.
        connect(list, &FileListWidget::loadFinished, this, [this, list] {
            if (currentFileList() == list)
                itemSelectChanged();
        });
    }
}

FileListWidget *FileActions::fileList(QListWidget *list) const
{
    return qobject_cast<FileListWidget *>(list);
}

QListWidget *FileActions::currentFileList() const
{
    switch (ui.pages->currentIndex()) {
    case CloudPage::Explorer:
        return ui.explorer;
    case CloudPage::Pictures:
        return ui.pictures;
    case CloudPage::Videos:
        return ui.videos;
    case CloudPage::Documents:
        return ui.documents;
    default:
        qDebug() << "errer index of fileStackedWidget";
        return nullptr;
    }
}

int FileActions::listTotal(QListWidget *list) const
{
    const FileListWidget *files = fileList(list);
    return files ? files->total : -1;
}

QString FileActions::explorerBreadcrumb() const
{
    return ui.explorer->breadcrumbText;
}

void FileActions::reloadList(QListWidget *list)
{
    if (list == ui.explorer)
        ui.explorer->queryDir(ui.explorer->currentPath);
    else if (FileListWidget *files = fileList(list))
        files->reload();
}

void FileActions::queryExplorer(const QString &path)
{
    ui.explorer->queryDir(path);
}

void FileActions::itemSelectChanged()
{
    QListWidget *list = currentFileList();
    if (!list)
        return;
    const QList<QListWidgetItem *> selected = list->selectedItems();
    const int n = selected.size();
    bool fileBearing = false;
    for (QListWidgetItem *item : selected) {
        if (item->data(KindRole).toInt() != FolderKind)
            fileBearing = true;
    }
    ui.deleteButton->show();
    // Nothing at the device's top level can be deleted or created: those are its partitions.
    const bool explorerTop = ui.explorer->currentPath == ui.explorer->rootPath;
    if (list == ui.explorer)
        ui.deleteButton->setEnabled(!explorerTop && n > 0);
    else if (list == ui.videos)
        ui.deleteButton->setEnabled(fileBearing);
    else
        ui.deleteButton->setEnabled(n > 0);
    ui.downloadButton->show();
    ui.downloadButton->setEnabled(fileBearing);
    ui.createDirButton->setVisible(list == ui.explorer);
    ui.createDirButton->setEnabled(!explorerTop);
    ui.selectCountLabel->setText(tr("已选中%1个文件").arg(n));
    // Last: unchecking the box clears the selection, and that nested update must win.
    ui.allCheckBox->setChecked(n > 0 && n == list->count());
}

void FileActions::checkAllItem(int state)
{
    QListWidget *list = currentFileList();
    if (!list)
        return;
    // One selection change for the whole list: item by item, the first change would uncheck
    // the box again through itemSelectChanged() and undo the rest.
    {
        const QSignalBlocker blocker(list);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(state == Qt::Checked);
    }
    if (FileListWidget *files = fileList(list))
        files->selectChanged();
    itemSelectChanged();
}

void FileActions::refresh()
{
    ui.selectCountLabel->setText(tr("已选中%1个文件").arg(0));
    if (ui.pages->currentIndex() == CloudPage::Recent)
        emit recentReloadRequested();
    else if (QListWidget *list = currentFileList())
        reloadList(list);
}

void FileActions::removeSelected()
{
    YesNoDialog dialog(tr("确认删除选中的内容吗？"), window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (FileListWidget *files = fileList(currentFileList()))
        files->removeSelected();
}

void FileActions::createFolder()
{
    ui.explorer->mkDir();
}

void FileActions::openLink(const QString &link)
{
    const NavLink target = NavLink::route(link);
    switch (target.kind) {
    case NavLink::Folder:
        ui.explorer->queryDir(target.path);
        break;
    case NavLink::VideoSeries:
        emit videoSeriesRequested(target.series);
        break;
    case NavLink::Unknown:
        MessageBox::showMessage(Error, tr("未知协议"), window, false, 2000);
        break;
    }
}

void FileActions::clearLists()
{
    for (QListWidget *list :
         {static_cast<QListWidget *>(ui.explorer), static_cast<QListWidget *>(ui.pictures),
          ui.videos, static_cast<QListWidget *>(ui.documents)}) {
        if (FileListWidget *files = fileList(list))
            files->resetForDevice();
    }
}

void FileActions::deviceChanged()
{
    ui.explorer->queryPartitionNames();
    clearLists();
}
