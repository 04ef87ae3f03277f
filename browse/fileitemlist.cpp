#include "browse/fileitemlist.h"
#include "browse/fileitemicon.h"
#include "ui_fileitemlist.h"

#include "browse/filelistwidget.h"
#include "browse/filepaths.h"
#include "browse/filetexts.h"
#include "device/plaintooltip.h"

FileItemList::FileItemList(QWidget *parentList) : QWidget(parentList), ui(new Ui::FileItemList)
{
    ui->setupUi(this);
}

FileItemList::~FileItemList()
{
    delete ui;
}

QLabel *FileItemList::iconLabel() const
{
    return ui->iconLabel;
}

void FileItemList::setupFromItem()
{
    if (!listItem)
        return;
    const FileEntry entry = FileListWidget::entryOf(listItem);
    const QString name = FilePaths::fileName(entry.path);
    const QString shownPath = displayPath(entry.path);
    ui->textLabel->setText(name);
    ui->timeLabel->setText(fileTimeText(entry.time));
    if (entry.isFolder()) {
        setToolTip(plainToolTip(tr("目录: %1").arg(shownPath)));
        ui->iconLabel->setPixmap(
            FileItemIcon::imagePixmap(QStringLiteral(":/image/file/folder_small.png")));
        return;
    }
    const QString sizeText = formatFileSize(entry.size);
    setToolTip(plainToolTip(
        tr("文件: %1\n大小: %2\n修改时间: %3").arg(shownPath, sizeText, fileTimeText(entry.time))));
    ui->typeLabel->setText(name.mid(name.lastIndexOf(QLatin1Char('.')) + 1).toUpper());
    ui->sizeLabel->setText(sizeText);
    ui->iconLabel->setPixmap(FileItemIcon::imagePixmap(fileIconPath(name, true)));
}
